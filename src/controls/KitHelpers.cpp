#include "controls/KitHelpers.h"

#include "platform-ui/Images.h"

#include <algorithm>
#include <mutex>

using namespace platform::ui;

namespace {

Cursor makeCursor(const char* imageName)
{
    QImage image = namedImage(QString::fromLatin1(imageName));
    if (!image.isNull()) {
        // The image's size becomes 16 x 16 points before the cursor is made from it.
        const double scale = image.width() / 16.0;
        image.setDevicePixelRatio(scale > 0 ? scale : 1.0);
    }
    return Cursor(image, QPointF(8, 8));
}

} // namespace

const Cursor& PLRCustomCursor::resizeLeftDiagonalCursor()
{
    static std::once_flag once;
    static Cursor* cursor = nullptr;
    std::call_once(once, [] { cursor = new Cursor(makeCursor("resizeTopLeftToBottomRightCursor")); });
    return *cursor;
}

const Cursor& PLRCustomCursor::resizeRightDiagonalCursor()
{
    static std::once_flag once;
    static Cursor* cursor = nullptr;
    std::call_once(once, [] { cursor = new Cursor(makeCursor("resizeBottomLeftToTopRightCursor.tiff")); });
    return *cursor;
}

void sortSubviewsUsingViewTags(View* view, const QVariantMap& ranks)
{
    if (!view)
        return;
    QList<QWidget*> order = view->subviews();
    QList<int> places;
    QList<QWidget*> identified;
    for (int i = 0; i < order.size(); ++i) {
        if (!order[i]->objectName().isEmpty()) {
            places << i;
            identified << order[i];
        }
    }
    auto rank = [&ranks](const QWidget* widget) { return ranks.value(widget->objectName()).toLongLong(); };
    std::stable_sort(identified.begin(), identified.end(),
                     [&rank](const QWidget* a, const QWidget* b) { return rank(a) < rank(b); });
    for (int i = 0; i < places.size(); ++i)
        order[places[i]] = identified[i];
    view->setSubviewOrder(order);
}

QSizeF measureAttributedString(const AttributedString& string, double width, double height)
{
    if (string.length() == 0)
        return QSizeF(0, 0);
    const TextLayout layout(string, QSizeF(width, height));
    QSizeF size = layout.usedRect().size();
    if (layout.extraLineFragmentHeight() > 0)
        size.setHeight(size.height() - layout.extraLineFragmentHeight());
    return size;
}

double heightForWidth(const AttributedString& string, double width)
{
    return measureAttributedString(string, width, kTextContainerNoLimit).height();
}

double widthForHeight(const AttributedString& string, double height)
{
    return measureAttributedString(string, kTextContainerNoLimit, height).width();
}

void addTextSpacing(TextField* field, double kerning)
{
    if (!field)
        return;
    AttributedString text = field->attributedStringValue();
    text.addAttribute(kKernAttributeName, kerning, text.wholeRange());
    field->setAttributedStringValue(text);
}

void addTextSpacing(TextField* field, double kerning, double lineSpacing)
{
    if (!field)
        return;
    AttributedString text = field->attributedStringValue();
    text.addAttribute(kKernAttributeName, kerning, text.wholeRange());
    text.addAttribute(kParagraphStyleAttributeName,
                      QVariant::fromValue(ParagraphStyle{TextAlignment::Center, double(float(lineSpacing))}),
                      text.wholeRange());
    field->setAttributedStringValue(text);
}
