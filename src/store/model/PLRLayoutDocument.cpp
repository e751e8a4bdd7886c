#include "store/model/PLRLayoutDocument.h"

#include <QUuid>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace plr {

QByteArray data(const google::protobuf::MessageLite& message)
{
    const size_t size = message.ByteSizeLong();
    if (size > size_t(std::numeric_limits<int>::max()))
        return {};
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (size > 0 && !message.SerializeToArray(bytes.data(), int(size)))
        return {};
    return bytes;
}

bool parseFromData(google::protobuf::MessageLite* message, const QByteArray& bytes,
                   platform::Error* error)
{
    if (message->ParseFromArray(bytes.constData(), int(bytes.size())))
        return true;
    message->Clear();
    if (error)
        *error = platform::Error::make(kLayoutErrorDomain, 1,
                                       QStringLiteral("The %1 data is not valid.")
                                           .arg(QString::fromStdString(message->GetTypeName())));
    return false;
}

QList<const PLRSection*> sectionsArray(const PLRLayout& layout)
{
    QList<const PLRSection*> list;
    list.reserve(layout.sections_size());
    for (const PLRSection& section : layout.sections())
        list.append(&section);
    return list;
}

QList<PLRSection*> sectionsArray(PLRLayout* layout)
{
    QList<PLRSection*> list;
    list.reserve(layout->sections_size());
    for (PLRSection& section : *layout->mutable_sections())
        list.append(&section);
    return list;
}

QList<const PLRBlock*> blocksArray(const PLRSection& section)
{
    QList<const PLRBlock*> list;
    list.reserve(section.blocks_size());
    for (const PLRBlock& block : section.blocks())
        list.append(&block);
    return list;
}

QList<PLRBlock*> blocksArray(PLRSection* section)
{
    QList<PLRBlock*> list;
    list.reserve(section->blocks_size());
    for (PLRBlock& block : *section->mutable_blocks())
        list.append(&block);
    return list;
}

QList<const PLRBlock*> subBlocksArray(const PLRBlock& block)
{
    QList<const PLRBlock*> list;
    for (const PLRBlock& sub : block.container().sub_blocks())
        list.append(&sub);
    return list;
}

void setSectionsArray(PLRLayout* layout, const QList<PLRSection>& sections)
{
    layout->clear_sections();
    for (const PLRSection& section : sections)
        *layout->add_sections() = section;
}

void setBlocksArray(PLRSection* section, const QList<PLRBlock>& blocks)
{
    section->clear_blocks();
    for (const PLRBlock& block : blocks)
        *section->add_blocks() = block;
}

void setSubBlocksArray(PLRBlock_Container* container, const QList<PLRBlock>& blocks)
{
    container->clear_sub_blocks();
    for (const PLRBlock& block : blocks)
        *container->add_sub_blocks() = block;
}

void setBackgroundColour(PLRLayout* layout, const PLRColour* colour)
{
    if (colour)
        *layout->mutable_background_colour() = *colour;
    else
        layout->clear_background_colour();
}

void setPinterestButton(PLRLayout* layout, const PLRLayout_Pinterest* pinterest)
{
    if (pinterest)
        *layout->mutable_pinterest_button() = *pinterest;
    else
        layout->clear_pinterest_button();
}

void setFacebookButton(PLRLayout* layout, const PLRLayout_Facebook* facebook)
{
    if (facebook)
        *layout->mutable_facebook_button() = *facebook;
    else
        layout->clear_facebook_button();
}

void setAnimation(PLRLayout* layout, const PLRLayout_Animation* animation)
{
    if (animation)
        *layout->mutable_animation() = *animation;
    else
        layout->clear_animation();
}

void setPosition(PLRBlock_Image* image, const PLRPosition* position)
{
    if (position)
        *image->mutable_position() = *position;
    else
        image->clear_position();
}

void setInteraction(PLRBlock_Image* image, const PLRInteraction* interaction)
{
    if (interaction)
        *image->mutable_interaction() = *interaction;
    else
        image->clear_interaction();
}

void setPosition(PLRBlock_Text* text, const PLRPosition* position)
{
    if (position)
        *text->mutable_position() = *position;
    else
        text->clear_position();
}

bool positionsEqual(const PLRPosition& a, const PLRPosition& b)
{
    return a.x() == b.x() && a.y() == b.y() && a.width() == b.width();
}

QString newBlockIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace plr

namespace plr {

namespace {

// A finite value within [low, high]; `fallback` for NaN and infinities.
float bounded(float value, double low, double high, float fallback, int* changed)
{
    float result = value;
    if (!std::isfinite(value))
        result = fallback;
    else if (value < low)
        result = float(low);
    else if (value > high)
        result = float(high);
    if (result != value || std::isnan(value))
        ++*changed;
    return result;
}

void boundColour(PLRColour* colour, int* changed)
{
    colour->set_r(bounded(colour->r(), 0.0, 255.0, 0.0f, changed));
    colour->set_g(bounded(colour->g(), 0.0, 255.0, 0.0f, changed));
    colour->set_b(bounded(colour->b(), 0.0, 255.0, 0.0f, changed));
    colour->set_a(bounded(colour->a(), 0.0, 255.0, 255.0f, changed));
}

void boundPosition(PLRPosition* position, int* changed)
{
    position->set_x(bounded(position->x(), -kMaxLayoutCoordinate, kMaxLayoutCoordinate, 0.0f, changed));
    position->set_y(bounded(position->y(), -kMaxLayoutCoordinate, kMaxLayoutCoordinate, 0.0f, changed));
    position->set_width(bounded(position->width(), -kMaxLayoutCoordinate, kMaxLayoutCoordinate, 0.0f, changed));
}

void boundText(PLRBlock_Text* text, int* changed)
{
    // Bytes first: most texts are far below the bound and need no decoding.
    if (text->value().size() > size_t(kMaxTextBlockLength)) {
        QString value = QString::fromStdString(text->value());
        if (value.size() > kMaxTextBlockLength) {
            qsizetype cut = kMaxTextBlockLength;
            if (value.at(cut - 1).isHighSurrogate())
                --cut;
            value.truncate(cut);
            text->set_value(value.toStdString());
            ++*changed;
        }
    }
    if (text->html().size() > size_t(kMaxTextBlockHtmlBytes)) {
        text->clear_html();   // the plain text stands alone, as for a text never formatted
        ++*changed;
    }
    if (text->has_position())
        boundPosition(text->mutable_position(), changed);
}

} // namespace

int boundLayout(PLRLayout* layout)
{
    int changed = 0;
    if (layout->padding() < 0 || layout->padding() > kMaxLayoutPadding) {
        layout->set_padding(std::clamp<qint64>(layout->padding(), 0, kMaxLayoutPadding));
        ++changed;
    }
    if (layout->has_background_colour())
        boundColour(layout->mutable_background_colour(), &changed);
    // Without recursion: every block of every section, containers' children included.
    std::vector<PLRBlock*> pending;
    for (PLRSection& section : *layout->mutable_sections())
        for (PLRBlock& block : *section.mutable_blocks())
            pending.push_back(&block);
    while (!pending.empty()) {
        PLRBlock* block = pending.back();
        pending.pop_back();
        const float ratio = block->aspect_ratio();
        if (!std::isfinite(ratio) || ratio < 0.0f) {
            block->set_aspect_ratio(0.0f);
            ++changed;
        } else if (ratio != 0.0f) {
            block->set_aspect_ratio(bounded(ratio, kMinLayoutAspectRatio, kMaxLayoutAspectRatio, 0.0f, &changed));
        }
        switch (block->type_case()) {
        case PLRBlock::kContainer:
            for (PLRBlock& child : *block->mutable_container()->mutable_sub_blocks())
                pending.push_back(&child);
            break;
        case PLRBlock::kImage:
            if (block->image().has_position())
                boundPosition(block->mutable_image()->mutable_position(), &changed);
            break;
        case PLRBlock::kText:
            boundText(block->mutable_text(), &changed);
            break;
        default:
            break;
        }
    }
    return changed;
}

} // namespace plr
