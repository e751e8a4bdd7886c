// The canvas's magnification and the shared visual state: steps, fit, gestures, entrance.

#include "CanvasTestSupport.h"

#include "platform-ui/Animation.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>

using canvas_test::CanvasFixture;

namespace {

class CanvasZoom : public CanvasFixture {
protected:
    void SetUp() override
    {
        CanvasFixture::SetUp();
        addImage("a.jpg");
        controller->setZoom(100);
        testing_support::drainEvents();
    }
    PLRVisualStateHandler& shared() { return PLRVisualStateHandler::globalHandler(); }
};

class HiddenCanvas : public CanvasFixture {
protected:
    bool showCanvas() const override { return false; }
};

} // namespace

TEST_F(CanvasZoom, StepsAreTheSharedFactorPlusOrMinusTheStepAndTheCanvasShowsThem)
{
    ASSERT_TRUE(controller->isVisualDelegate());
    EXPECT_EQ(shared().layoutZoomFactor(), 1.0);
    // A factor of no whole percent (a fit of 0.537) is shown as it is, and one step up from it
    // is 0.637, on the canvas too, and it stays so.
    shared().setLayoutZoomFactor(0.537);
    testing_support::drainEvents();
    EXPECT_EQ(shared().layoutZoomFactor(), 0.537);
    EXPECT_EQ(controller->magnification(), 0.537);
    shared().incrementLayoutZoomFactorBy(0.1);
    testing_support::drainEvents();
    EXPECT_DOUBLE_EQ(shared().layoutZoomFactor(), 0.637);
    EXPECT_DOUBLE_EQ(controller->magnification(), 0.637);
    shared().decrementLayoutZoomFactorBy(0.1);
    shared().decrementLayoutZoomFactorBy(0.1);
    testing_support::drainEvents();
    EXPECT_DOUBLE_EQ(shared().layoutZoomFactor(), 0.437);
    EXPECT_DOUBLE_EQ(controller->magnification(), 0.437);

    // Steps in one go, with no turn of the event loop between them, end where they began.
    shared().setLayoutZoomFactor(1.0);
    for (int i = 0; i < 3; ++i)
        shared().decrementLayoutZoomFactorBy(0.1);
    for (int i = 0; i < 3; ++i)
        shared().incrementLayoutZoomFactorBy(0.1);
    EXPECT_DOUBLE_EQ(controller->magnification(), 1.0);
    testing_support::drainEvents();
    EXPECT_DOUBLE_EQ(shared().layoutZoomFactor(), 1.0);

    // Factors that cannot be shown are refused.
    const double shown = controller->magnification();
    for (double bad : {0.0, -2.0, 0.001, std::nan("")})
        shared().setLayoutZoomFactor(bad);
    EXPECT_EQ(controller->magnification(), shown);
}

TEST_F(CanvasZoom, FitsTheWidthAnimatedAndTellsTheSharedState)
{
    // A 1000 wide canvas over a 1000 point layout: the page and its margins fill the width the
    // canvas shows, without a horizontal scroll bar.
    const double fit = controller->zoomFactorToFit();
    EXPECT_GT(fit, 0.85);
    EXPECT_LT(fit, 1.0);
    shared().setLayoutZoomToFit();
    EXPECT_EQ(shared().layoutZoomFactor(), fit);
    EXPECT_EQ(controller->magnification(), fit);
    testing_support::drainEvents();
    const int shown = controller->scrollView()->viewport()->width();
    const double page = 1000.0 * fit;   // the page's width on screen
    EXPECT_LE(page + 2 * PLRLayoutDocumentView::kMargin, shown + 0.5);
    EXPECT_GE(page + 2 * PLRLayoutDocumentView::kMargin, shown - 40.0);   // a scroll bar's room
    EXPECT_FALSE(controller->scrollView()->horizontalScrollBar()->isVisible());

    controller->setZoom(150);
    EXPECT_EQ(controller->magnification(), 1.5);
    EXPECT_EQ(shared().layoutZoomFactor(), 1.5);

    auto& clock = platform::ui::AnimationClock::shared();
    clock.setManual(true);
    controller->widget()->resize(1500, 700);
    const double wider = controller->zoomFactorToFit();
    EXPECT_GT(wider, 1.3);
    EXPECT_LT(wider, 1.5);
    controller->setZoom(0);
    EXPECT_TRUE(controller->isZoomAnimating());
    EXPECT_EQ(shared().layoutZoomFactor(), wider);
    clock.advance(0.1);
    EXPECT_LT(controller->magnification(), 1.5);
    clock.advance(0.2);
    EXPECT_EQ(controller->magnification(), wider);
    EXPECT_FALSE(controller->isZoomAnimating());

    // A fit of nothing is refused: no width.
    controller->widget()->resize(0, 700);
    EXPECT_EQ(controller->zoomFactorToFit(), 0.0);
    shared().setLayoutZoomToFit();
    EXPECT_EQ(shared().layoutZoomFactor(), wider);
    controller->setZoom(0);
    EXPECT_EQ(controller->magnification(), wider);
    clock.setManual(false);
}

TEST_F(CanvasZoom, AFittingPageKeepsFittingAsTheWindowShrinks)
{
    shared().setLayoutZoomToFit();
    testing_support::drainEvents();
    const double fit = controller->zoomFactorToFit();
    EXPECT_EQ(shared().layoutZoomFactor(), fit);
    // The smallest window: the page is refitted, not cut.
    controller->widget()->resize(600, 500);
    testing_support::drainEvents();
    EXPECT_LT(shared().layoutZoomFactor(), fit);
    EXPECT_EQ(shared().layoutZoomFactor(), controller->zoomFactorToFit());
    controller->widget()->resize(1000, 700);
    testing_support::drainEvents();
    EXPECT_EQ(shared().layoutZoomFactor(), fit);
    // A zoom the user chose stays through a resize.
    controller->setZoom(150);
    testing_support::drainEvents();
    controller->widget()->resize(600, 500);
    testing_support::drainEvents();
    EXPECT_EQ(shared().layoutZoomFactor(), 1.5);
}

TEST_F(CanvasZoom, ControlWheelZoomsAroundThePointerWithinTheStepBounds)
{
    QWidget* viewport = controller->scrollView()->viewport();
    auto wheel = [&](int delta) {
        const QPointF at(300, 200);
        QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::ControlModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    };
    wheel(120);
    const double zoomed = controller->magnification();
    EXPECT_GT(zoomed, 1.0);
    EXPECT_EQ(zoomed, PLRLayoutViewController::snappedZoomFactor(zoomed));
    EXPECT_EQ(shared().layoutZoomFactor(), zoomed);
    for (int i = 0; i < 40; ++i)
        wheel(-480);
    EXPECT_EQ(controller->magnification(), 0.1);
}

TEST_F(CanvasZoom, EntranceZoomsToFitThenFadesInAfterHalfASecond)
{
    auto& clock = platform::ui::AnimationClock::shared();
    clock.setManual(true);
    controller->ensureEntrancePostion();
    EXPECT_EQ(controller->canvasAlpha(), 0.0);
    EXPECT_EQ(canvas()->overlayAlpha(), 0.0);
    controller->performEntrance();
    EXPECT_EQ(controller->magnification(), controller->zoomFactorToFit());
    EXPECT_EQ(shared().layoutZoomFactor(), controller->zoomFactorToFit());
    clock.advance(0.45);
    EXPECT_EQ(controller->canvasAlpha(), 0.0);
    clock.advance(0.2);
    EXPECT_GT(controller->canvasAlpha(), 0.0);
    EXPECT_LT(controller->canvasAlpha(), 1.0);
    clock.advance(0.3);
    EXPECT_EQ(controller->canvasAlpha(), 1.0);
    EXPECT_EQ(controller->scrollView()->graphicsEffect(), nullptr);
    clock.setManual(false);
}

TEST_F(HiddenCanvas, OnlyAShownCanvasTakesPartInTheSharedZoom)
{
    PLRVisualStateHandler& shared = PLRVisualStateHandler::globalHandler();
    EXPECT_FALSE(controller->isVisualDelegate());
    shared.setLayoutZoomToFit();
    EXPECT_EQ(shared.layoutZoomFactor(), 1.0);
    shared.setLayoutZoomFactor(2.0);
    EXPECT_EQ(controller->magnification(), 0.5);   // as it was set before being shown

    controller->widget()->show();
    EXPECT_TRUE(controller->isVisualDelegate());
    EXPECT_EQ(controller->magnification(), 2.0);   // shows the shared factor on joining
    shared.setLayoutZoomToFit();
    EXPECT_EQ(shared.layoutZoomFactor(), controller->zoomFactorToFit());

    controller->widget()->hide();
    EXPECT_FALSE(controller->isVisualDelegate());
    EXPECT_FALSE(shared.currentDelegates().contains(controller.get()));
    shared.setLayoutZoomFactor(1.0);
    shared.setLayoutZoomToFit();
    EXPECT_EQ(shared.layoutZoomFactor(), 1.0);

    // A destroyed canvas is never asked again.
    controller->widget()->show();
    controller.reset();
    EXPECT_TRUE(shared.currentDelegates().isEmpty());
    shared.setLayoutZoomToFit();
    EXPECT_EQ(shared.layoutZoomFactor(), 1.0);
}

// Tab stops on the canvas (its arrow and page keys scroll the page): it shows the focus ring
// along the inside of its edges then, and only then.
TEST(CanvasScrollView, ShowsTheFocusRingWhileItHasTheKeyboard)
{
    QWidget window;
    window.resize(400, 300);
    auto* before = new QPushButton(QStringLiteral("Before"), &window);
    before->setGeometry(0, 0, 80, 24);
    auto* canvas = new PLRLayoutScrollView(&window);
    canvas->setGeometry(0, 30, 400, 240);
    auto* page = new QWidget;
    page->resize(300, 600);
    canvas->setWidget(page);
    auto* after = new QPushButton(QStringLiteral("After"), &window);
    after->setGeometry(0, 275, 80, 24);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    const auto edgeIsRing = [&] {
        QImage shot(canvas->size(), QImage::Format_ARGB32_Premultiplied);
        shot.fill(Qt::white);
        canvas->render(&shot);
        const QColor edge = shot.pixelColor(1, canvas->height() / 2);
        return edge.blue() > edge.red() + 30;
    };
    EXPECT_FALSE(edgeIsRing());
    before->setFocus(Qt::TabFocusReason);
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(before, &tab);
    ASSERT_EQ(QApplication::focusWidget(), canvas);
    EXPECT_TRUE(canvas->isShowingFocusRing());
    EXPECT_TRUE(edgeIsRing());
    QKeyEvent next(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(canvas, &next);
    EXPECT_EQ(QApplication::focusWidget(), after);
    EXPECT_FALSE(canvas->isShowingFocusRing());
    EXPECT_FALSE(edgeIsRing());
}
