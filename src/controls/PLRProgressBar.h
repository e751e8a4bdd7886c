#pragma once

#include "platform-ui/Layer.h"
#include "platform-ui/View.h"

#include <QImage>

// A horizontal bar showing a determinate fill (0 to 100) or moving stripes (indeterminate).
// It hosts its own layer tree and is the delegate of its layers.
class PLRProgressBar : public platform::ui::View {
    Q_OBJECT
public:
    // Places the bar and sets it up, as loading it from an interface file does.
    explicit PLRProgressBar(const QRectF& frame, QWidget* parent = nullptr);

    void awakeFromNib();

    bool indeterminate() const { return m_indeterminate; }
    void setIndeterminate(bool indeterminate);
    // 0 to 100; larger values count as 100, negative ones as 0, NaN is ignored.
    void setDoubleValue(double value);
    double progressAmount() const { return m_progressAmount; }
    bool isAnimating() const { return m_isAnimating; }

    void startAnimation();
    void startAnimation(QObject* sender);
    void stopAnimation();

    // The layer tree (for inspection).
    platform::ui::Layer* progressLayerContainer() const { return m_container; }
    platform::ui::Layer* stripeLayer() const { return m_stripeLayer; }
    platform::ui::Layer* progressLayer() const { return m_progressLayer; }
    const QImage& stripe() const { return m_stripe; }
    const QImage& stripeContents() const { return m_stripeContents; }
    const QImage& progressContents() const { return m_progressContents; }

    // A new image (width x the tile's height) of the tile repeated from the left.
    static QImage repeatImage(const QImage& tile, int width);
    // A new image of the size filled with the colour.
    static QImage progressColor(const platform::ui::Color& color, const QSizeF& size);

    // Layer delegate.
    bool displayLayer(platform::ui::Layer* layer) override;
    std::optional<std::shared_ptr<platform::ui::Animation>> actionForLayer(platform::ui::Layer*, const QString&) override
    {
        return std::nullopt;
    }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setup();
    void fitFillToBounds();
    void disableLayerActions();
    void addStripeAnimation();
    void addProgressAnimation();
    void setInnerFrameWidth(float width);

    QImage m_stripe;
    QImage m_stripeContents;
    QImage m_progressContents;
    platform::ui::Layer* m_container = nullptr;
    platform::ui::Layer* m_stripeLayer = nullptr;
    platform::ui::Layer* m_progressLayer = nullptr;
    bool m_isAnimating = false;
    double m_progressAmount = 0.0;
    bool m_indeterminate = false;
};
