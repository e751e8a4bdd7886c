#pragma once

#include "platform-ui/View.h"
#include "shell/PLRAnimationContext.h"

#include <QList>
#include <QPointer>

// The error bar's background: a light red band with a darker line along its top.
class PLRErrorBarView : public platform::ui::View {
    Q_OBJECT
public:
    using View::View;
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
};

// The root view of the main window's content: places its screens on all four edges, or on the
// left, right and height with a top edge that can slide, and keeps the error bar on top. A
// screen whose layer casts a shadow casts it on the screen below while it slides (at rest its
// edges lie on the root's, where no shadow shows).
class PLRRootView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRRootView(QWidget* parent = nullptr);
    void pinToEdges(QWidget* view);
    void placeWithTopEdge(QWidget* view, PLRLayoutConstraint* topEdge);
    void forget(QWidget* view);
    // Places every screen again.
    void relayout();
    void setErrorView(QWidget* errorView) { m_errorView = errorView; relayout(); }
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    // The shadow above a sliding screen's top edge (hidden while no screen slides).
    platform::ui::View* slideShadow() const { return m_slideShadow; }
    static constexpr double kErrorBarHeight = 64.0;

protected:
    void layoutSubviews() override { relayout(); }

private:
    struct Placement {
        QPointer<QWidget> view;
        QPointer<PLRLayoutConstraint> topEdge;   // null: pinned on four edges
    };
    QList<Placement> m_placements;
    QPointer<QWidget> m_errorView;
    QPointer<platform::ui::View> m_slideShadow;
};
