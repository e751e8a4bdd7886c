#include "platform-ui/AttributedString.h"

#include "platform-ui/Fonts.h"

#include <QAbstractTextDocumentLayout>
#include <QCache>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <set>

namespace platform::ui {

QFont defaultTextFont() { return systemFont(12.0); }

AttributedString::AttributedString(const QString& string, const QVariantMap& attributes)
    : m_string(string)
{
    addAttributes(attributes, wholeRange());
}

void AttributedString::removeAttribute(const QString& key, TextRange range)
{
    std::vector<Span> kept;
    for (const Span& span : m_spans) {
        if (span.key != key || span.range.end() <= range.location || span.range.location >= range.end()) {
            kept.push_back(span);
            continue;
        }
        if (span.range.location < range.location)
            kept.push_back({{span.range.location, range.location - span.range.location}, span.key, span.value});
        if (span.range.end() > range.end())
            kept.push_back({{range.end(), span.range.end() - range.end()}, span.key, span.value});
    }
    m_spans = std::move(kept);
}

void AttributedString::addAttribute(const QString& key, const QVariant& value, TextRange range)
{
    range.location = std::clamp(range.location, 0, length());
    range.length = std::clamp(range.length, 0, length() - range.location);
    if (range.length == 0)
        return;
    removeAttribute(key, range);
    m_spans.push_back({range, key, value});
}

void AttributedString::addAttributes(const QVariantMap& attributes, TextRange range)
{
    for (auto it = attributes.begin(); it != attributes.end(); ++it)
        addAttribute(it.key(), it.value(), range);
}

QVariantMap AttributedString::attributesAt(int index, TextRange* effectiveRange) const
{
    QVariantMap result;
    int start = 0, end = length();
    for (const Span& span : m_spans) {
        if (span.range.contains(index)) {
            result.insert(span.key, span.value);
            start = std::max(start, span.range.location);
            end = std::min(end, span.range.end());
        } else if (span.range.end() <= index) {
            start = std::max(start, span.range.end());
        } else if (span.range.location > index) {
            end = std::min(end, span.range.location);
        }
    }
    if (effectiveRange)
        *effectiveRange = {start, end - start};
    return result;
}

QVariant AttributedString::attribute(const QString& key, int index, TextRange* effectiveRange) const
{
    for (const Span& span : m_spans) {
        if (span.key == key && span.range.contains(index)) {
            if (effectiveRange)
                *effectiveRange = span.range;
            return span.value;
        }
    }
    if (effectiveRange)
        *effectiveRange = {index, 0};
    return {};
}

std::vector<std::pair<TextRange, QVariantMap>> AttributedString::runs() const
{
    std::set<int> cuts{0, length()};
    for (const Span& span : m_spans) {
        cuts.insert(span.range.location);
        cuts.insert(span.range.end());
    }
    std::vector<std::pair<TextRange, QVariantMap>> result;
    for (auto it = cuts.begin(); std::next(it) != cuts.end(); ++it) {
        const int from = *it, to = *std::next(it);
        if (to > from)
            result.push_back({{from, to - from}, attributesAt(from)});
    }
    return result;
}

bool AttributedString::operator==(const AttributedString& other) const
{
    if (m_string != other.m_string)
        return false;
    const auto mine = runs(), theirs = other.runs();
    if (mine.size() != theirs.size())
        return false;
    for (size_t i = 0; i < mine.size(); ++i)
        if (!(mine[i].first == theirs[i].first) || mine[i].second != theirs[i].second)
            return false;
    return true;
}

namespace {

constexpr double kNoLimit = 1.0e7;

Qt::Alignment qtAlignment(TextAlignment alignment)
{
    switch (alignment) {
    case TextAlignment::Right: return Qt::AlignRight;
    case TextAlignment::Center: return Qt::AlignHCenter;
    case TextAlignment::Justified: return Qt::AlignJustify;
    default: return Qt::AlignLeft;
    }
}

QTextCharFormat charFormat(const QVariantMap& attributes)
{
    QTextCharFormat format;
    QFont font = attributes.contains(kFontAttributeName) ? attributes.value(kFontAttributeName).value<QFont>()
                                                         : defaultTextFont();
    if (attributes.contains(kKernAttributeName))
        font.setLetterSpacing(QFont::AbsoluteSpacing, attributes.value(kKernAttributeName).toDouble());
    format.setFont(font);
    const Color color = attributes.contains(kForegroundColorAttributeName)
        ? attributes.value(kForegroundColorAttributeName).value<Color>()
        : Color::black();
    format.setForeground(color.toQColor());
    if (attributes.value(kUnderlineStyleAttributeName).toInt() != 0)
        format.setFontUnderline(true);
    return format;
}

} // namespace

TextLayout::TextLayout(const AttributedString& string, QSizeF containerSize)
    : m_string(string), m_document(std::make_unique<QTextDocument>()), m_container(containerSize)
{
    m_document->setDocumentMargin(0);
    m_document->setDefaultFont(defaultTextFont());
    QTextOption option;
    const bool wraps = containerSize.width() < kNoLimit;
    option.setWrapMode(wraps ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    m_document->setDefaultTextOption(option);
    if (wraps)
        m_document->setTextWidth(std::max(0.0, containerSize.width()));

    QTextCursor cursor(m_document.get());
    for (const auto& [range, attributes] : string.runs()) {
        const QTextCharFormat format = charFormat(attributes);
        const QString text = string.string().mid(range.location, range.length);
        int start = 0;
        for (int i = 0; i <= text.size(); ++i) {
            const bool brk = i < text.size()
                && (text[i] == QLatin1Char('\n') || text[i] == QChar(0x2029) || text[i] == QChar(0x2028));
            if (i == text.size() || brk) {
                if (i > start)
                    cursor.insertText(text.mid(start, i - start), format);
                if (brk)
                    cursor.insertBlock(QTextBlockFormat(), format);
                start = i + 1;
            }
        }
    }
    // Paragraph styles: each block takes the style at its first character.
    int position = 0;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        const int index = std::min(position, std::max(0, string.length() - 1));
        const auto style = string.length() > 0
            ? string.attribute(kParagraphStyleAttributeName, index).value<ParagraphStyle>()
            : ParagraphStyle{};
        QTextCursor blockCursor(block);
        QTextBlockFormat blockFormat = block.blockFormat();
        blockFormat.setAlignment(qtAlignment(style.alignment));
        if (style.lineSpacing > 0)
            blockFormat.setLineHeight(style.lineSpacing, QTextBlockFormat::LineDistanceHeight);
        blockCursor.setBlockFormat(blockFormat);
        position += block.length();
    }
    m_document->documentLayout(); // forces a layout
    m_document->adjustSize();
    if (wraps)
        m_document->setTextWidth(std::max(0.0, containerSize.width()));

    double minX = kNoLimit, maxX = 0.0, bottom = 0.0;
    bool any = false;
    const bool endsWithBreak = !string.string().isEmpty()
        && (string.string().back() == QLatin1Char('\n') || string.string().back() == QChar(0x2029)
            || string.string().back() == QChar(0x2028));
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        const QRectF blockRect = m_document->documentLayout()->blockBoundingRect(block);
        QTextLayout* layout = block.layout();
        const bool extra = endsWithBreak && !block.next().isValid();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const double lineBottom = blockRect.top() + line.y() + line.height();
            if (lineBottom > containerSize.height() + 0.001)
                break;
            bottom = lineBottom;
            if (extra) {
                m_extraLineHeight = line.height();
                continue;
            }
            any = true;
            // Alignment shifts the line inside its box; cursorToX includes that shift.
            const double left = blockRect.left() + line.cursorToX(line.textStart());
            minX = std::min(minX, left);
            maxX = std::max(maxX, left + line.naturalTextWidth());
        }
    }
    if (!any)
        minX = 0.0;
    if (string.length() == 0)
        bottom = 0.0;
    m_usedRect = QRectF(minX, 0.0, std::max(0.0, maxX - minX), bottom);
}

TextLayout::~TextLayout() = default;

const TextLayout& TextLayout::cached(const AttributedString& string, QSizeF containerSize)
{
    struct Entry {
        Entry(const AttributedString& text, QSizeF size) : string(text), layout(string, size) {}
        AttributedString string;   // the layout refers to this copy
        TextLayout layout;
    };
    static constexpr int kCapacity = 384;
    thread_local QCache<QString, Entry> layouts(kCapacity);
    const QString key = string.string() + QChar(0) + QString::number(containerSize.width(), 'g', 17) + QChar(0)
        + QString::number(containerSize.height(), 'g', 17);
    if (Entry* entry = layouts.object(key); entry && entry->string == string)
        return entry->layout;
    auto* entry = new Entry(string, containerSize);
    layouts.insert(key, entry);   // costs 1: the cache holds kCapacity layouts
    return entry->layout;
}

int TextLayout::characterIndexAt(QPointF point) const
{
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        const QRectF blockRect = m_document->documentLayout()->blockBoundingRect(block);
        QTextLayout* layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const double top = blockRect.top() + line.y();
            if (point.y() < top || point.y() >= top + line.height())
                continue;
            const double left = blockRect.left() + line.cursorToX(line.textStart());
            if (point.x() < left || point.x() >= left + line.naturalTextWidth())
                return -1;
            const int inBlock = line.xToCursor(point.x() - blockRect.left(), QTextLine::CursorOnCharacter);
            const int index = block.position() + inBlock;
            return index < m_string.length() ? index : -1;
        }
    }
    return -1;
}

void TextLayout::draw(QPainter& painter, QPointF origin) const
{
    painter.save();
    painter.translate(origin);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(QPointF(0, 0), QSizeF(std::min(m_container.width(), kNoLimit),
                                                 std::min(m_container.height(), kNoLimit)));
    m_document->documentLayout()->draw(&painter, context);
    painter.restore();
}

} // namespace platform::ui
