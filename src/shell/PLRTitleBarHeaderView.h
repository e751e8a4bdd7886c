#pragma once

#include "platform-ui/View.h"

#include <functional>

// The title bar's header area: the home header (a title) or the post header (the post's controls).
// It fills the title bar and, once the window asks for a transparent title bar, paints the
// window's background so that the bar reads as part of the window.
class PLRTitleBarHeaderView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRTitleBarHeaderView(QWidget* parent = nullptr);
    void setTransparentTitleBar(bool transparent) { m_transparent = transparent; update(); }
    bool transparentTitleBar() const { return m_transparent; }
    void setLayoutHandler(std::function<void()> handler) { m_layoutHandler = std::move(handler); }
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
protected:
    void layoutSubviews() override { if (m_layoutHandler) m_layoutHandler(); }
    bool eventFilter(QObject* watched, QEvent* event) override;
private:
    bool m_transparent = false;
    std::function<void()> m_layoutHandler;
};
