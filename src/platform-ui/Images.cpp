#include "platform-ui/Images.h"

#include "platform/Log.h"
#include "platform/Resources.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace platform::ui {

namespace {
constexpr double kSvgScale = 2.0;

QImage loadImage(const QString& base)
{
    resources::initialize();
    const QString svgPath = QStringLiteral(":/images/%1.svg").arg(base);
    if (QFile::exists(svgPath)) {
        QSvgRenderer renderer(svgPath);
        if (!renderer.isValid())
            return {};
        const QSizeF size = renderer.viewBoxF().size();
        QImage image(int(std::ceil(size.width() * kSvgScale)), int(std::ceil(size.height() * kSvgScale)),
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
        }
        image.setDevicePixelRatio(kSvgScale);
        return image;
    }
    QImage png(QStringLiteral(":/images/%1.png").arg(base));
    return png;
}
} // namespace

QImage namedImage(const QString& name)
{
    static QHash<QString, QImage> cache;
    const QString base = name.contains(QLatin1Char('.')) ? QFileInfo(name).completeBaseName() : name;
    const auto it = cache.constFind(base);
    if (it != cache.cend())
        return *it;
    QImage image = loadImage(base);
    if (image.isNull())
        PLR_LOG_WARN(QStringLiteral("Missing named image %1").arg(name));
    cache.insert(base, image);
    return image;
}

QImage solidImage(const QSizeF& size, const QColor& color, double scale)
{
    const int w = std::max(0, int(std::ceil(size.width() * scale)));
    const int h = std::max(0, int(std::ceil(size.height() * scale)));
    if (w == 0 || h == 0)
        return {};
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    image.setDevicePixelRatio(scale);
    return image;
}

} // namespace platform::ui
