#pragma once

#include "platform-ui/Color.h"

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <vector>

class QPainter;
class QTextDocument;

namespace platform::ui {

// Attribute keys of attributed strings, with the value types they take.
inline constexpr auto kFontAttributeName = "NSFont";                       // QFont
inline constexpr auto kForegroundColorAttributeName = "NSColor";           // Color
inline constexpr auto kKernAttributeName = "NSKern";                       // double (points)
inline constexpr auto kUnderlineStyleAttributeName = "NSUnderline";        // int (0 none, 1 single)
inline constexpr auto kParagraphStyleAttributeName = "NSParagraphStyle";   // ParagraphStyle
inline constexpr auto kLinkAttributeName = "NSLink";                       // QUrl

// Paragraph alignment (fixed values: left 0, right 1, centre 2, justified 3, natural 4).
enum class TextAlignment { Left = 0, Right = 1, Center = 2, Justified = 3, Natural = 4 };

struct ParagraphStyle {
    TextAlignment alignment = TextAlignment::Natural;
    double lineSpacing = 0.0;
    bool operator==(const ParagraphStyle&) const = default;
};

struct TextRange {
    int location = 0;
    int length = 0;
    int end() const { return location + length; }
    bool contains(int index) const { return index >= location && index < end(); }
    bool operator==(const TextRange&) const = default;
};

// A string with attributes over ranges of its characters.
class AttributedString {
public:
    AttributedString() = default;
    explicit AttributedString(const QString& string, const QVariantMap& attributes = {});

    const QString& string() const { return m_string; }
    int length() const { return int(m_string.size()); }

    // Sets the attribute over the range, replacing the key's earlier values there.
    void addAttribute(const QString& key, const QVariant& value, TextRange range);
    void addAttributes(const QVariantMap& attributes, TextRange range);
    void removeAttribute(const QString& key, TextRange range);
    QVariantMap attributesAt(int index, TextRange* effectiveRange = nullptr) const;
    QVariant attribute(const QString& key, int index, TextRange* effectiveRange = nullptr) const;
    // The runs of equal attributes, in order.
    std::vector<std::pair<TextRange, QVariantMap>> runs() const;
    TextRange wholeRange() const { return {0, length()}; }

    bool operator==(const AttributedString& other) const;

private:
    struct Span {
        TextRange range;
        QString key;
        QVariant value;
    };
    QString m_string;
    std::vector<Span> m_spans;
};

// Lays out an attributed string in a container (width and height in points; very large values
// mean no limit) with the bundled fonts. Coordinates are y-down from the container's top left.
class TextLayout {
public:
    TextLayout(const AttributedString& string, QSizeF containerSize);
    ~TextLayout();

    // The layout of the string in the container, taken from the calling thread's last few
    // hundred layouts when the same string (text and attributes) was laid out in a container
    // of the same size: views draw and measure the same texts again and again, and laying out
    // is costly. The reference holds until the next call on this thread.
    static const TextLayout& cached(const AttributedString& string, QSizeF containerSize);

    // The rectangle the laid-out lines use, including the empty line that follows a trailing
    // line break.
    QRectF usedRect() const { return m_usedRect; }
    // The height of that empty last line (0 when the text does not end in a line break).
    double extraLineFragmentHeight() const { return m_extraLineHeight; }
    // The index of the character under the point, or -1 when the point is not over text.
    int characterIndexAt(QPointF point) const;
    // Draws the text with its top left at the origin (y-down painter).
    void draw(QPainter& painter, QPointF origin) const;

private:
    const AttributedString& m_string;
    std::unique_ptr<QTextDocument> m_document;
    QSizeF m_container;
    QRectF m_usedRect;
    double m_extraLineHeight = 0.0;
};

QFont defaultTextFont();

} // namespace platform::ui

Q_DECLARE_METATYPE(platform::ui::ParagraphStyle)
