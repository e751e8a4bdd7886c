#include "shell/home/PLRShellImages.h"

#include "platform/Resources.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace {

constexpr double kScale = 2.0;

QImage canvas(double width, double height, const std::function<void(QPainter&)>& draw)
{
    QImage image(int(width * kScale), int(height * kScale), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(kScale, kScale);
        draw(painter);
    }
    image.setDevicePixelRatio(kScale);
    return image;
}

QImage bolt(const QColor& colour)
{
    return canvas(10, 14, [&](QPainter& p) {
        QPainterPath path;
        path.moveTo(6.5, 0.5);
        path.lineTo(1.0, 8.0);
        path.lineTo(4.8, 8.0);
        path.lineTo(3.5, 13.5);
        path.lineTo(9.0, 6.0);
        path.lineTo(5.2, 6.0);
        path.closeSubpath();
        p.fillPath(path, colour);
    });
}

QImage dots(const QColor& colour, const QColor& background)
{
    return canvas(22, 22, [&](QPainter& p) {
        if (background.alpha() > 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(background);
            p.drawEllipse(QRectF(1, 1, 20, 20));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        for (int i = 0; i < 3; ++i)
            p.drawEllipse(QPointF(6.0 + 5.0 * i, 11.0), 1.6, 1.6);
    });
}

QImage arrow(bool up)
{
    return canvas(12, 12, [&](QPainter& p) {
        QPen pen(QColor(80, 80, 80), 1.4);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        p.setPen(pen);
        const double tip = up ? 2.0 : 10.0;
        const double tail = up ? 10.0 : 2.0;
        p.drawLine(QPointF(6, tip), QPointF(6, tail));
        p.drawLine(QPointF(6, tip), QPointF(2.5, up ? 5.5 : 6.5));
        p.drawLine(QPointF(6, tip), QPointF(9.5, up ? 5.5 : 6.5));
    });
}

QImage createPost(bool pressed)
{
    const QColor colour = pressed ? QColor(170, 170, 170) : QColor(255, 255, 255);
    return canvas(140, 21, [&](QPainter& p) {
        QPen pen(colour, 2.0);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.drawLine(QPointF(10.5, 4), QPointF(10.5, 17));
        p.drawLine(QPointF(4, 10.5), QPointF(17, 10.5));
        p.setFont(platform::ui::systemFont(13, platform::ui::FontWeight::Medium));
        p.drawText(QRectF(26, 0, 114, 21), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("New Post"));
    });
}

// A page with a wide photo, two side by side and lines of text.
void drawPage(QPainter& p, const QRectF& page, const QColor& paper, const QColor& block, const QColor& line)
{
    p.setPen(Qt::NoPen);
    p.setBrush(paper);
    p.drawRoundedRect(page, 4, 4);
    const double m = page.width() * 0.08;
    const double inner = page.width() - 2 * m;
    double y = page.top() + m;
    p.setBrush(block);
    p.drawRect(QRectF(page.left() + m, y, inner, inner * 0.55));
    y += inner * 0.55 + m * 0.6;
    p.setBrush(line);
    for (int i = 0; i < 3; ++i) {
        p.drawRoundedRect(QRectF(page.left() + m, y, inner * (i == 2 ? 0.6 : 1.0), 3), 1.5, 1.5);
        y += 7;
    }
    y += m * 0.3;
    p.setBrush(block);
    const double half = (inner - m * 0.5) / 2;
    p.drawRect(QRectF(page.left() + m, y, half, half * 1.2));
    p.drawRect(QRectF(page.left() + m + half + m * 0.5, y, half, half * 1.2));
}

QImage createPostTileImage()
{
    // A page nearly as wide as the tile's "New Post" bar, the round badge on its top corner.
    return canvas(200, 220, [](QPainter& p) {
        drawPage(p, QRectF(8, 14, 172, 200), QColor(255, 255, 255), QColor(214, 219, 226), QColor(200, 204, 210));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x21, 0x9D, 0xFF));
        p.drawEllipse(QPointF(178, 22), 18, 18);
        QPen pen(Qt::white, 3.0);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.drawLine(QPointF(178, 14), QPointF(178, 30));
        p.drawLine(QPointF(170, 22), QPointF(186, 22));
    });
}

QImage emptyPost()
{
    return canvas(240, 410, [](QPainter& p) {
        p.fillRect(QRectF(0, 0, 240, 410), QColor(247, 247, 247));
        drawPage(p, QRectF(20, 20, 200, 370), QColor(255, 255, 255), QColor(228, 230, 234), QColor(220, 222, 226));
    });
}

QImage drawn(const QString& name)
{
    if (name == QLatin1String("bolt-green"))
        return bolt(QColor(0x3C, 0xB3, 0x71));
    if (name == QLatin1String("bolt-grey"))
        return bolt(QColor(0xA0, 0xA0, 0xA0));
    if (name == QLatin1String("open-tile-menu"))
        return dots(QColor(120, 120, 120), Qt::transparent);
    if (name == QLatin1String("open-tile-menu-pressed"))
        return dots(QColor(255, 255, 255), QColor(0x21, 0x9D, 0xFF));
    // The home screen's sort toggle shows "sort-ascending-arrow" while the list runs from the
    // newest (or last) post down, and "sort-descending-arrow" while it runs from the oldest (or
    // first): the arrow points down for newest first, up for oldest first.
    if (name == QLatin1String("sort-ascending-arrow"))
        return arrow(false);
    if (name == QLatin1String("sort-descending-arrow"))
        return arrow(true);
    if (name == QLatin1String("create-post"))
        return createPost(false);
    if (name == QLatin1String("create-post-pressed"))
        return createPost(true);
    if (name == QLatin1String("create-post-tile-image"))
        return createPostTileImage();
    if (name == QLatin1String("empty-post"))
        return emptyPost();
    return {};
}

} // namespace

QImage PLRShellImages::image(const QString& name)
{
    static QHash<QString, QImage> cache;
    const auto it = cache.constFind(name);
    if (it != cache.cend())
        return *it;
    platform::resources::initialize();
    QImage image;
    if (QFile::exists(QStringLiteral(":/images/%1.svg").arg(name)) || QFile::exists(QStringLiteral(":/images/%1.png").arg(name)))
        image = platform::ui::namedImage(name);
    if (image.isNull())
        image = drawn(name);
    cache.insert(name, image);
    return image;
}
