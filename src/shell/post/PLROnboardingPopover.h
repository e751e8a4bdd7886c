#pragma once

#include "platform-ui/View.h"

#include <QPointer>

#include <functional>

// A popover that stays until the program closes it: a rounded bubble holding a content view,
// drawn over a host view next to an anchor rectangle, its arrow pointing at the anchor.
class PLROnboardingPopover : public platform::ui::View {
    Q_OBJECT
public:
    enum class Edge { MinX, MaxX };

    explicit PLROnboardingPopover(QWidget* host);
    ~PLROnboardingPopover() override;

    QWidget* contentView() const { return m_content; }
    // The content is shown inside the bubble; it stays its caller's (taken back on close).
    void setContentView(QWidget* content);
    // Shows the bubble beside the rectangle (in the anchor view's Qt coordinates) on the edge.
    void showRelativeToRect(const QRectF& rect, QWidget* anchorView, Edge preferredEdge);
    bool isShown() const { return m_shown; }
    Edge edge() const { return m_edge; }
    // Hides the bubble and hands the content view back to its former parent.
    void close();
    // What Escape does while the bubble is shown: what its own close button does. Escape counts
    // when it reaches the window unused (no focused view took it for itself).
    void setEscapeAction(std::function<void()> action) { m_escapeAction = std::move(action); }

    bool isFlipped() const override { return true; }
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;

    static constexpr double kArrowLength = 10.0;
    static constexpr double kPadding = 14.0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_host;
    QPointer<QWidget> m_watchedWindow;
    std::function<void()> m_escapeAction;
    QPointer<QWidget> m_content;
    QPointer<QWidget> m_contentOwner;
    Edge m_edge = Edge::MaxX;
    double m_arrowY = 0.0;
    bool m_shown = false;
};
