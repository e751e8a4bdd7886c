#include "store/model/PLRLayoutDocument.h"

#include <QUuid>

#include <limits>

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
