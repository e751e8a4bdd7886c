#include "shell/PLRLightStyle.h"

#include <QIconEngine>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

namespace {

// An icon of the base style, asked for on first use.
class DeferredStandardIconEngine : public QIconEngine {
public:
    DeferredStandardIconEngine(QStyle* style, QStyle::StandardPixmap which) : m_style(style), m_which(which) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return icon().isNull(); }
    QString key() const override { return QStringLiteral("PLRDeferredStandardIcon"); }
    QIconEngine* clone() const override
    {
        auto* copy = new DeferredStandardIconEngine(m_style, m_which);
        copy->m_icon = m_icon;
        copy->m_loaded = m_loaded;
        return copy;
    }

private:
    QIcon& icon()
    {
        if (!m_loaded) {
            m_loaded = true;
            if (m_style)
                m_icon = m_style->standardIcon(m_which);
        }
        return m_icon;
    }

    QPointer<QStyle> m_style;
    QStyle::StandardPixmap m_which;
    QIcon m_icon;
    bool m_loaded = false;
};

} // namespace

PLRLightStyle::PLRLightStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QIcon PLRLightStyle::standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const
{
    if (!option && (which == SP_ToolBarHorizontalExtensionButton || which == SP_ToolBarVerticalExtensionButton))
        return QIcon(new DeferredStandardIconEngine(baseStyle(), which));
    return QProxyStyle::standardIcon(which, option, widget);
}

void PLRLightStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                       const QWidget* widget) const
{
    const QPaintDevice* device = painter ? painter->device() : nullptr;
    const QPaintEngine* engine = painter ? painter->paintEngine() : nullptr;
    if (control != CC_ScrollBar || !option || !device || !engine || engine->type() != QPaintEngine::Raster
        || option->rect.height() <= kScrollBarBandRows) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // Each band is drawn whole into a picture of its own rows (Fusion sets clips of its own, so a
    // clip of the painter would not hold), then put in place.
    const QRect rect = option->rect;
    const qreal ratio = device->devicePixelRatioF();
    for (int top = rect.top(); top <= rect.bottom(); top += kScrollBarBandRows) {
        const int rows = std::min(kScrollBarBandRows, rect.bottom() + 1 - top);
        QImage band(QSize(rect.width(), rows) * ratio, QImage::Format_ARGB32_Premultiplied);
        band.setDevicePixelRatio(ratio);
        band.fill(Qt::transparent);
        QPainter bandPainter(&band);
        bandPainter.setRenderHints(painter->renderHints());
        bandPainter.setFont(painter->font());
        bandPainter.translate(-rect.left(), -top);
        QProxyStyle::drawComplexControl(control, option, &bandPainter, widget);
        bandPainter.end();
        painter->drawImage(QPoint(rect.left(), top), band);
    }
}
