#include "UiTestSupport.h"
#include "TestSupport.h"

#include "controls/PLRColorWell.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRSliderCell.h"
#include "controls/PLRStepperCell.h"
#include "controls/PLRTextFieldCell.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMenu>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace platform::ui;
using namespace ui_test;

namespace {

std::vector<DrawOperation> ofKind(const std::vector<DrawOperation>& ops, DrawOperation::Kind kind)
{
    std::vector<DrawOperation> out;
    for (const DrawOperation& op : ops)
        if (op.kind == kind)
            out.push_back(op);
    return out;
}

void drag(QWidget* view, QPointF point)
{
    dispatch::sendMouse(view, QEvent::MouseMove, point, Qt::NoButton, Qt::LeftButton);
}

void pressKey(QWidget* to, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Tab ? QStringLiteral("\t") : QString());
    QApplication::sendEvent(to, &down);
}

struct PresenterGuard {
    explicit PresenterGuard(PLRPopupButton::MenuPresenter presenter) { PLRPopupButton::setMenuPresenter(std::move(presenter)); }
    ~PresenterGuard() { PLRPopupButton::setMenuPresenter(nullptr); }
};

} // namespace

TEST(PopupButton, FaceTitleStylesAndPlacement)
{
    QWidget window;
    window.resize(300, 200);
    auto* popup = new PLRPopupButton(&window);
    popup->setFrame(QRectF(10, 100, 160, 26));
    popup->awakeFromNib();
    EXPECT_EQ(popup->frame(), QRectF(10, 95, 160, 30));
    popup->addItem(QStringLiteral("3:2"), 0);
    popup->addItem(QStringLiteral("1:1"), 4);
    EXPECT_TRUE(popup->selectItemWithTag(4));
    EXPECT_EQ(popup->selectedTag(), 4);

    std::vector<DrawOperation> ops = popup->recordDrawing();
    EXPECT_EQ(popup->sizeHint(), QSize(120, 30));   // short titles: the usual width
    ASSERT_FALSE(ofKind(ops, DrawOperation::Kind::StrokePath).empty());
    EXPECT_DOUBLE_EQ(ofKind(ops, DrawOperation::Kind::StrokePath).front().lineWidth, 2.0);
    EXPECT_EQ(ofKind(ops, DrawOperation::Kind::StrokePath).front().color, namedColor(QStringLiteral("plrControlBorderColor")));
    const auto images = ofKind(ops, DrawOperation::Kind::Image);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_DOUBLE_EQ(images.front().rect.x(), 160 - 18);
    EXPECT_DOUBLE_EQ(images.front().fraction, 1.0);
    auto texts = ofKind(ops, DrawOperation::Kind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts.front().text, QStringLiteral("1:1"));
    EXPECT_DOUBLE_EQ(texts.front().rect.x(), 12.0);

    // A title too long for the face is never shortened: its box is as wide as the control and
    // starts 12 points in, so it runs under the arrow, wraps when wider than the control, and
    // the control's edge cuts the rest.
    const QString longTitle = QStringLiteral("Landscape and Street Photography of Northern Portugal");
    popup->addItem(longTitle, 7);
    popup->selectItemWithTag(7);
    ops = popup->recordDrawing();
    texts = ofKind(ops, DrawOperation::Kind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts.front().text, longTitle);
    EXPECT_DOUBLE_EQ(texts.front().rect.x(), 12.0);
    EXPECT_DOUBLE_EQ(texts.front().rect.width(), 160.0);
    EXPECT_GT(texts.front().rect.height(), 1.5 * QFontMetricsF(systemFont(12)).height());   // wrapped
    const auto clips = ofKind(ops, DrawOperation::Kind::Clip);
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips.front().rect, QRectF(0, 0, 160, 30));
    // The control asks for the width that shows its longest title left of the arrow.
    const double longest = QFontMetricsF(systemFont(12)).horizontalAdvance(longTitle);
    EXPECT_GE(popup->minimumSizeHint().width(), 12 + longest + 18);
    EXPECT_EQ(popup->sizeHint().width(), popup->minimumSizeHint().width());
    popup->selectItemWithTag(4);

    // Style 2 adds " Ratio"; style 1 takes (and keeps) the background-coloured border.
    // (The two borders are of different colours: DCDCDC and E6E6E6.)
    ASSERT_NE(namedColor(QStringLiteral("plrControlBorderColor")), namedColor(QStringLiteral("plrControlBgColor")));
    popup->setButtonStyle(2);
    ops = popup->recordDrawing();
    texts = ofKind(ops, DrawOperation::Kind::Text);
    EXPECT_EQ(texts.front().text, QStringLiteral("1:1 Ratio"));
    EXPECT_EQ(texts.front().color, namedColor(QStringLiteral("plrTextColor")));
    EXPECT_EQ(ofKind(ops, DrawOperation::Kind::StrokePath).front().color, namedColor(QStringLiteral("plrControlBorderColor")));
    EXPECT_EQ(popup->borderColor(), namedColor(QStringLiteral("plrControlBorderColor")));
    popup->setButtonStyle(1);
    popup->setButtonStyle(0);
    EXPECT_EQ(popup->borderColor(), namedColor(QStringLiteral("plrControlBgColor")));

    // A title with no matching item shows with no selection; disabled, the arrow fades.
    popup->setTitle(QStringLiteral("Custom"));
    EXPECT_EQ(popup->indexOfSelectedItem(), -1);
    EXPECT_EQ(ofKind(popup->recordDrawing(), DrawOperation::Kind::Text).front().text, QStringLiteral("Custom"));
    popup->setEnabled(false);
    EXPECT_DOUBLE_EQ(ofKind(popup->recordDrawing(), DrawOperation::Kind::Image).front().fraction, 0.4);
    // Its title greys: B4B4B4 in place of 333333.
    ASSERT_NE(namedColor(QStringLiteral("plrTextControlDisabled")), namedColor(QStringLiteral("plrTextColor")));
    EXPECT_EQ(ofKind(popup->recordDrawing(), DrawOperation::Kind::Text).front().color,
              namedColor(QStringLiteral("plrTextControlDisabled")));
}

TEST(PopupButton, InTheRatioStyleItAsksForItsLongestTitleWithRatio)
{
    // In a layout that gives it no more than it asks for, a ratio pop-up shows its longest
    // title followed by " Ratio" wholly left of the arrow, also after its style changes there.
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    row->setContentsMargins(0, 0, 0, 0);
    auto* popup = new PLRPopupButton(&window);
    for (const char* title : {"3:2", "16:9", "Original shape", "1:1"})
        popup->addItem(QString::fromLatin1(title), popup->numberOfItems());
    popup->selectItemWithTag(2);
    row->addWidget(popup);
    row->addStretch(1);
    window.resize(40, 40);   // narrower than any pop-up: each gets its minimum width
    window.show();
    const QFontMetricsF metrics(systemFont(12));
    const auto wanted = [&](const QString& text) {
        return PLRPopupButton::kTitleInset + metrics.horizontalAdvance(text) + PLRPopupButton::kTitleGap
            + PLRPopupButton::kArrowInset;
    };
    QApplication::processEvents();
    EXPECT_GE(popup->width(), wanted(QStringLiteral("Original shape")));
    EXPECT_LT(popup->width(), wanted(QStringLiteral("Original shape Ratio")));   // a plain pop-up asks no more

    popup->setButtonStyle(2);
    QApplication::processEvents();
    for (const QSize hint : {popup->minimumSizeHint(), popup->sizeHint()})
        EXPECT_GE(hint.width(), wanted(QStringLiteral("Original shape Ratio")));
    EXPECT_GE(popup->width(), wanted(QStringLiteral("Original shape Ratio")));
    // The drawn title ends before the arrow.
    const QImage image = popup->renderToImage(1.0);
    const int arrow = popup->width() - int(PLRPopupButton::kArrowInset);
    int ink = 0;
    for (int x = arrow - 3; x < arrow; ++x)
        for (int y = 4; y < popup->height() - 4; ++y)
            if (image.pixelColor(x, y).lightness() < 200)
                ++ink;
    EXPECT_EQ(ink, 0);
}

TEST(PopupButton, MouseDownOpensAMenuAsWideAsTheControlAndChoosingSendsTheAction)
{
    QWidget window;
    window.resize(300, 200);
    auto* popup = new PLRPopupButton(&window);
    popup->setFrame(QRectF(10, 50, 160, 30));
    popup->addItem(QStringLiteral("Slow"), 0);
    popup->addItem(QStringLiteral("Medium"), 1);
    window.show();
    int actions = 0;
    popup->setAction([&](Control*) { ++actions; });
    int minimum = -1;
    QMenu* shown = nullptr;
    QPoint at;
    PresenterGuard guard([&](PLRPopupButton*, QMenu* menu, const QPoint& point, int width) {
        shown = menu;
        minimum = width;
        at = point;
    });
    dispatch::sendMouse(popup, QEvent::MouseButtonPress, QPointF(20, 15));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(minimum, 160);
    // The menu opens at (0, 5) of the control, y up: 5 points above its bottom edge.
    EXPECT_EQ(at, QPoint(0, 25));
    EXPECT_GE(shown->minimumWidth(), 160);
    EXPECT_TRUE(popup->isMenuOpen());
    shown->actions().at(1)->trigger();
    EXPECT_EQ(popup->selectedTag(), 1);
    EXPECT_EQ(actions, 1);

    popup->setEnabled(false);
    shown = nullptr;
    dispatch::sendMouse(popup, QEvent::MouseButtonPress, QPointF(20, 15));
    EXPECT_EQ(shown, nullptr);
}

TEST(PopupButton, TheMenuMarksTheSelectedItemOnly)
{
    QWidget window;
    auto* popup = new PLRPopupButton(&window);
    popup->setFrame(QRectF(10, 50, 160, 30));
    popup->addItem(QStringLiteral("Top left"), 0);
    popup->addItem(QStringLiteral("Top right"), 1);
    popup->addItem(QStringLiteral("Bottom left"), 2);
    window.show();
    QList<bool> marks;
    PresenterGuard guard([&](PLRPopupButton*, QMenu* menu, const QPoint&, int) {
        marks.clear();
        for (QAction* action : menu->actions())
            marks << action->isChecked();
    });
    popup->selectItemWithTag(2);
    dispatch::sendMouse(popup, QEvent::MouseButtonPress, QPointF(20, 15));
    EXPECT_EQ(marks, (QList<bool>{false, false, true}));
    popup->selectItemWithTag(0);
    dispatch::sendMouse(popup, QEvent::MouseButtonPress, QPointF(20, 15));
    EXPECT_EQ(marks, (QList<bool>{true, false, false}));
    // A title that names no item selects none, and nothing is marked.
    popup->setTitle(QStringLiteral("Custom"));
    dispatch::sendMouse(popup, QEvent::MouseButtonPress, QPointF(20, 15));
    EXPECT_EQ(marks, (QList<bool>{false, false, false}));
}

TEST(PopupButton, SeparatorItemsShowAsLinesAndAreNeverChosen)
{
    QWidget window;
    auto* popup = new PLRPopupButton(&window);
    popup->setFrame(QRectF(10, 50, 160, 30));
    popup->addItem(QStringLiteral("Select One"), 0);
    popup->addItem(QStringLiteral("Showit"), 1);
    popup->addSeparatorItem();
    popup->addItem(QStringLiteral("Other / Custom Theme"), 3);
    window.show();
    EXPECT_EQ(popup->numberOfItems(), 4);
    EXPECT_TRUE(popup->isSeparatorItem(2));
    EXPECT_FALSE(popup->isSeparatorItem(3));
    EXPECT_EQ(popup->indexOfItemWithTag(3), 3);
    QList<bool> separators;
    PresenterGuard guard([&](PLRPopupButton*, QMenu* menu, const QPoint&, int) {
        separators.clear();
        for (QAction* action : menu->actions())
            separators << action->isSeparator();
    });
    dispatch::sendMouse(popup, QEvent::MouseButtonPress, QPointF(20, 15));
    EXPECT_EQ(separators, (QList<bool>{false, false, true, false}));
    int actions = 0;
    popup->setAction([&](Control*) { ++actions; });
    popup->selectItemAtIndex(1);
    popup->chooseItemAtIndex(2);
    EXPECT_EQ(popup->indexOfSelectedItem(), 1);
    EXPECT_EQ(actions, 0);
    popup->setTitle(QString());   // an empty title names no item, not the separator
    EXPECT_EQ(popup->indexOfSelectedItem(), -1);
}

TEST(PopupButton, TabReachesItAndTheKeyboardOpensMovesThroughChoosesAndCloses)
{
    View window;
    window.resize(300, 200);
    auto* before = Button::withTitle(QStringLiteral("Export"), nullptr, {}, &window);
    before->setFrame(QRectF(10, 150, 80, 24));
    auto* popup = new PLRPopupButton(&window);
    popup->setFrame(QRectF(10, 50, 160, 30));
    popup->addItem(QStringLiteral("Slow"), 0);
    popup->addItem(QStringLiteral("Medium"), 1);
    popup->addSeparatorItem();
    popup->addItem(QStringLiteral("Fast"), 2);
    popup->selectItemWithTag(0);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    int actions = 0;
    popup->setAction([&](Control*) { ++actions; });
    auto highlighted = [&] {
        return popup->menu() && popup->menu()->activeAction() ? popup->menu()->activeAction()->text() : QString();
    };

    // Tab goes from the button to the pop-up button, which shows the ring.
    before->setFocus(Qt::TabFocusReason);
    pressKey(before, Qt::Key_Tab);
    ASSERT_TRUE(popup->hasFocus());
    EXPECT_TRUE(popup->isShowingFocusRing());
    EXPECT_FALSE(popup->focusRingPath().isEmpty());

    // Down opens the menu on the selected item; the arrows move (past the separator), Return
    // chooses and sends the action.
    pressKey(popup, Qt::Key_Down);
    ASSERT_TRUE(popup->menu());
    EXPECT_TRUE(popup->menu()->isVisible());
    EXPECT_TRUE(popup->isMenuOpen());
    EXPECT_EQ(highlighted(), QStringLiteral("Slow"));
    pressKey(popup->menu(), Qt::Key_Down);
    EXPECT_EQ(highlighted(), QStringLiteral("Medium"));
    pressKey(popup->menu(), Qt::Key_Down);
    EXPECT_EQ(highlighted(), QStringLiteral("Fast"));
    pressKey(popup->menu(), Qt::Key_Up);
    EXPECT_EQ(highlighted(), QStringLiteral("Medium"));
    pressKey(popup->menu(), Qt::Key_Return);
    EXPECT_FALSE(popup->isMenuOpen());
    EXPECT_EQ(popup->selectedTag(), 1);
    EXPECT_EQ(actions, 1);

    // Space and Return open it too, on the new choice; Escape closes it with nothing chosen.
    for (const int key : {Qt::Key_Space, Qt::Key_Return}) {
        pressKey(popup, key);
        ASSERT_TRUE(popup->menu()) << key;
        EXPECT_TRUE(popup->isMenuOpen()) << key;
        EXPECT_EQ(highlighted(), QStringLiteral("Medium")) << key;
        pressKey(popup->menu(), Qt::Key_Down);
        pressKey(popup->menu(), Qt::Key_Escape);
        EXPECT_FALSE(popup->isMenuOpen()) << key;
        EXPECT_EQ(popup->selectedTag(), 1) << key;
        EXPECT_EQ(actions, 1) << key;
        EXPECT_TRUE(popup->hasFocus()) << key;   // the keys come back to it
    }

    // Disabled, it opens nothing.
    testing_support::drainEvents();
    popup->setEnabled(false);
    pressKey(popup, Qt::Key_Down);
    EXPECT_FALSE(popup->isMenuOpen());
}

TEST(TextFieldCell, CentredTextRectangleAndBorder)
{
    EXPECT_EQ(PLRTextFieldCell::centeredTextRect(QRectF(0, 0, 100, 22), 16), QRectF(0, 2, 100, 17));
    EXPECT_EQ(PLRTextFieldCell::drawingRectForBounds(QRectF(0, 0, 100, 22)), QRectF(3, 0, 95, 22));
    PLRTextFieldCell field;
    field.resize(120, 22);
    const auto strokes = ofKind(field.recordDrawing(), DrawOperation::Kind::StrokePath);
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_DOUBLE_EQ(strokes.front().lineWidth, 2.0);
    EXPECT_EQ(strokes.front().color, namedColor(QStringLiteral("plrControlBorderColor")));
}

TEST(TextField, AnEditableFieldInALayoutHasRoomForAWholeLine)
{
    QWidget page;
    auto* column = new QVBoxLayout(&page);
    column->setContentsMargins(0, 0, 0, 0);
    auto* field = new TextField(&page);
    field->setFont(systemFont(13));
    field->setEditable(true);
    field->setPlaceholderString(QStringLiteral("www.yourwebsite.com"));
    column->addWidget(field);
    column->addStretch(1);
    page.resize(300, 200);
    page.show();
    QCoreApplication::processEvents();
    const QLineEdit* editor = field->editor();
    ASSERT_TRUE(editor);
    // The line, descenders included, fits inside the editor, which sits 3 points in on both edges.
    EXPECT_GE(editor->height(), QFontMetrics(editor->font()).height());
    EXPECT_EQ(editor->geometry().top(), 3);
    EXPECT_EQ(field->height() - editor->geometry().bottom() - 1, 3);
}

TEST(ColorWell, FlatSwatchAndPickedColours)
{
    PLRColorWell well;
    well.resize(44, 22);
    well.setColor(Color(1, 0, 0));
    auto ops = well.recordDrawing();
    ASSERT_EQ(ofKind(ops, DrawOperation::Kind::FillPath).size(), 1u);
    EXPECT_EQ(ofKind(ops, DrawOperation::Kind::FillPath).front().color, Color(1, 0, 0));
    EXPECT_EQ(ofKind(ops, DrawOperation::Kind::StrokePath).front().color, namedColor(QStringLiteral("plrControlBorderColorDarker")));
    int actions = 0;
    well.setAction([&](Control*) { ++actions; });
    PLRColorWell* opened = nullptr;
    PLRColorWell::setPanelOpener([&](PLRColorWell* w) { opened = w; });
    well.activate(false);
    PLRColorWell::setPanelOpener(nullptr);
    EXPECT_EQ(opened, &well);
    well.takeColorFromPanel(Color(0, 0, 1));
    EXPECT_EQ(well.color(), Color(0, 0, 1));
    EXPECT_EQ(actions, 1);
}

TEST(ImagePreviewImageView, BackgroundLeavesTwoPointsAtTheRight)
{
    PLRImagePreviewImageView view;
    view.resize(100, 60);
    const auto fills = ofKind(view.recordDrawing(), DrawOperation::Kind::FillRect);
    ASSERT_FALSE(fills.empty());
    EXPECT_EQ(fills.front().rect, QRectF(0, 0, 98, 60));
    EXPECT_EQ(fills.front().color, namedColor(QStringLiteral("plrPreviewImageBgColor")));
}

TEST(ImagePreviewImageView, ThePictureSitsInItsFrameAtOneAndTwoTimes)
{
    // The inspector's preview is 207 x 135: its background frame is 205 wide. Whatever the
    // photo's shape, the picture lies wholly inside the frame, fills it one way, is centred the
    // other way and has no edge of mixed colour.
    const QColor photo(0xC0, 0x30, 0x20), background(0xF4, 0xF4, 0xF4);
    PLRImagePreviewImageView view;
    view.setImageScaling(ImageScaling::ProportionallyUpOrDown);
    view.resize(207, 135);
    for (const QSize shape : {QSize(1600, 900), QSize(600, 400), QSize(800, 500), QSize(400, 400), QSize(400, 600)}) {
        QImage picture(shape, QImage::Format_RGB32);
        picture.fill(photo);
        view.setImage(picture);
        for (const double scale : {1.0, 2.0}) {
            SCOPED_TRACE(testing::Message() << shape.width() << "x" << shape.height() << " at " << scale);
            QImage image((QSizeF(view.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(scale);
            image.fill(Qt::white);
            view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            const int frameWidth = int(205 * scale);
            QRect ink;
            int mixed = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    if (pixel == Qt::white || pixel == background)
                        continue;
                    ink |= QRect(x, y, 1, 1);
                    if (!near(pixel, photo, 2))
                        ++mixed;
                }
            ASSERT_FALSE(ink.isEmpty());
            EXPECT_LT(ink.right(), frameWidth) << "past the frame's right edge";
            EXPECT_EQ(mixed, 0) << "pixels of neither the picture nor the frame";
            const int left = ink.left(), right = frameWidth - 1 - ink.right();
            const int top = ink.top(), bottom = image.height() - 1 - ink.bottom();
            EXPECT_LE(std::abs(left - right), 1) << left << " left, " << right << " right";
            EXPECT_LE(std::abs(top - bottom), 1) << top << " above, " << bottom << " below";
            EXPECT_TRUE((left == 0 && right == 0) || (top == 0 && bottom == 0))
                << left << " " << right << " " << top << " " << bottom;
        }
    }
}

TEST(SliderCell, BarFillKnobAndTicks)
{
    PLRSlider slider;
    slider.resize(208, 22);
    slider.setMinValue(0);
    slider.setMaxValue(100);
    slider.setDoubleValue(50);
    auto paths = ofKind(slider.recordDrawing(), DrawOperation::Kind::FillPath);
    ASSERT_GE(paths.size(), 2u);
    const QRectF bar = slider.barRect();
    EXPECT_EQ(paths[0].color, slider.cell().sliderInactiveBg());
    EXPECT_DOUBLE_EQ(paths[0].path.boundingRect().width(), bar.width());
    EXPECT_EQ(paths[1].color, slider.cell().sliderActiveBg());
    EXPECT_DOUBLE_EQ(paths[1].path.boundingRect().width(), 100.0);
    EXPECT_DOUBLE_EQ(paths[1].path.boundingRect().x(), bar.x());
    EXPECT_DOUBLE_EQ(paths[1].path.boundingRect().y(), bar.y() + 2.0);

    EXPECT_DOUBLE_EQ(PLRSliderCell::activeWidth(0, 0, 100, 208), 0.0);
    EXPECT_DOUBLE_EQ(PLRSliderCell::activeWidth(100, 0, 100, 208), 200.0);
    // The fill counts from the minimum, not from 0.
    EXPECT_DOUBLE_EQ(PLRSliderCell::activeWidth(20, 20, 120, 208), 0.0);
    EXPECT_DOUBLE_EQ(PLRSliderCell::activeWidth(70, 20, 120, 208), 100.0);
    EXPECT_DOUBLE_EQ(PLRSliderCell::activeWidth(0, -50, 50, 208), 100.0);
    slider.setMinValue(50);
    slider.setDoubleValue(75);   // half-way between 50 and 100
    paths = ofKind(slider.recordDrawing(), DrawOperation::Kind::FillPath);
    ASSERT_GE(paths.size(), 2u);
    EXPECT_DOUBLE_EQ(paths[1].path.boundingRect().width(), 100.0);
    slider.setMinValue(0);
    // Equal limits and a bar of no width divide by nothing.
    EXPECT_DOUBLE_EQ(PLRSliderCell::activeWidth(5, 5, 5, 208), 0.0);
    PLRSliderCell cell;
    cell.awakeFromNib();
    EXPECT_DOUBLE_EQ(cell.knobImageX(QRectF(30, 4, 14, 14)), 30.0);
    slider.setMaxValue(0);
    slider.setDoubleValue(0);
    EXPECT_NO_FATAL_FAILURE(slider.recordDrawing());

    // Ticks: 5 in 206 points at 12, 62, 112, 162, 212; one tick at 12.
    PLRSlider ticks;
    ticks.resize(206, 30);
    ticks.setNumberOfTickMarks(5);
    auto rects = ofKind(ticks.recordDrawing(), DrawOperation::Kind::FillRect);
    ASSERT_EQ(rects.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(rects[i].rect, QRectF(12 + 50 * i, 20, 1, 4));
    ticks.setNumberOfTickMarks(1);
    rects = ofKind(ticks.recordDrawing(), DrawOperation::Kind::FillRect);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_DOUBLE_EQ(rects[0].rect.x(), 12.0);

    // Any gallery style, 0 included, switches the knob to the plain one.
    PLRSliderCell gallery;
    gallery.setGalleryStyle(0);
    EXPECT_TRUE(gallery.isGalleryStyle());
}

TEST(StepperCell, PressedHalfIsDarkenedAndFollowsThePointer)
{
    QWidget window;
    window.resize(100, 100);
    auto* stepper = new PLRStepper(&window);
    stepper->setFrame(QRectF(10, 10, 19, 30));
    stepper->setAutorepeat(false);
    window.show();
    int actions = 0;
    stepper->setAction([&](Control*) { ++actions; });
    const QImage up = stepper->cell().stepperUpImage();
    ASSERT_FALSE(up.isNull());
    // The up half's middle, in the rendered image (y down): 6 + w/2 across, 6 + h/2 down.
    const QPointF upMiddle(6 + pointSize(up).width() / 2, 6 + pointSize(up).height() / 2);
    const QColor idle = pixelAt(renderOnWhite(stepper), upMiddle.x(), upMiddle.y());

    dispatch::sendMouse(stepper, QEvent::MouseButtonPress, QPointF(9, 25));
    EXPECT_EQ(stepper->cell().currentStepperState(), PLRStepperCell::upHighlighted);
    EXPECT_EQ(stepper->doubleValue(), 1.0);
    EXPECT_EQ(actions, 1);
    const QColor pressed = pixelAt(renderOnWhite(stepper), upMiddle.x(), upMiddle.y());
    EXPECT_LT(pressed.lightness(), idle.lightness() * 0.75) << "the pressed half is drawn darkened";
    auto images = ofKind(stepper->recordDrawing(), DrawOperation::Kind::Image);
    ASSERT_EQ(images.size(), 2u);
    // The up half is drawn darker than its image.
    const QColor plain = up.pixelColor(up.width() / 2, 1);
    const QImage dark = PLRStepperCell::darkenedImage(up);
    EXPECT_EQ(dark.pixelColor(up.width() / 2, 1).red(), plain.red() / 2);
    EXPECT_EQ(dark.pixelColor(up.width() / 2, 1).alpha(), plain.alpha());
    EXPECT_EQ(images[0].rect.topLeft(), QPointF(6, 30 - pointSize(up).height() - 6));

    drag(stepper, QPointF(9, 15)); // exactly half: the other half
    EXPECT_EQ(stepper->cell().currentStepperState(), PLRStepperCell::inactive);
    drag(stepper, QPointF(9, 25));
    EXPECT_EQ(stepper->cell().currentStepperState(), PLRStepperCell::upHighlighted);
    drag(stepper, QPointF(50, 25)); // outside
    EXPECT_EQ(stepper->cell().currentStepperState(), PLRStepperCell::inactive);
    dispatch::sendMouse(stepper, QEvent::MouseButtonRelease, QPointF(9, 25));
    EXPECT_EQ(stepper->cell().currentStepperState(), PLRStepperCell::inactive);

    // The limits hold; equal limits keep the one value.
    stepper->setMinValue(0);
    stepper->setMaxValue(0);
    stepper->setDoubleValue(7);
    EXPECT_EQ(stepper->doubleValue(), 0.0);
    stepper->stepUp();
    EXPECT_EQ(stepper->doubleValue(), 0.0);
}

TEST(SliderAndStepper, TabReachesThemTheyShowTheRingAndTheKeysStepThem)
{
    View window;
    window.resize(300, 120);
    auto* before = Button::withTitle(QStringLiteral("Export"), nullptr, {}, &window);
    before->setFrame(QRectF(10, 80, 80, 24));
    auto* slider = new PLRSlider(&window);
    slider->setFrame(QRectF(10, 40, 208, 22));
    slider->setMinValue(0);
    slider->setMaxValue(100);
    slider->setDoubleValue(50);
    auto* stepper = new PLRStepper(&window);
    stepper->setFrame(QRectF(240, 30, 19, 30));
    stepper->setAutorepeat(false);
    stepper->setMaxValue(3);
    stepper->setDoubleValue(2);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    int slid = 0, stepped = 0;
    slider->setAction([&](Control*) { ++slid; });
    stepper->setAction([&](Control*) { ++stepped; });

    // Tab goes from the button to the slider and on to the stepper, each showing the ring.
    before->setFocus(Qt::TabFocusReason);
    pressKey(before, Qt::Key_Tab);
    ASSERT_TRUE(slider->hasFocus());
    EXPECT_TRUE(slider->isShowingFocusRing());
    EXPECT_FALSE(slider->focusRingPath().isEmpty());

    // Arrows by a twentieth of the range, pages by a fifth, Home and End to the limits; each
    // move sends the action, a key that moves nothing sends none.
    const QList<std::pair<int, double>> keys{{Qt::Key_Right, 55}, {Qt::Key_Up, 60},     {Qt::Key_Left, 55},
                                             {Qt::Key_Down, 50},  {Qt::Key_PageUp, 70}, {Qt::Key_PageDown, 50},
                                             {Qt::Key_End, 100},  {Qt::Key_Right, 100}, {Qt::Key_Home, 0}};
    for (const auto& [key, value] : keys) {
        pressKey(slider, key);
        EXPECT_DOUBLE_EQ(slider->doubleValue(), value) << key;
    }
    EXPECT_EQ(slid, 8);
    // With tick marks an arrow moves one tick interval.
    slider->setNumberOfTickMarks(5);
    pressKey(slider, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(slider->doubleValue(), 25.0);

    pressKey(slider, Qt::Key_Tab);
    ASSERT_TRUE(stepper->hasFocus());
    EXPECT_TRUE(stepper->isShowingFocusRing());
    // The ring goes around the two halves: 3 points outside the images, not the whole frame.
    const QRectF ring = stepper->focusRingPath().boundingRect();
    const QRectF halves = stepper->toQt(stepper->focusRingMaskBounds());
    EXPECT_NEAR(ring.left(), halves.left() - View::kFocusRingWidth, 0.5);
    EXPECT_NEAR(ring.right(), halves.right() + View::kFocusRingWidth, 0.5);
    pressKey(stepper, Qt::Key_Up);
    EXPECT_DOUBLE_EQ(stepper->doubleValue(), 3.0);
    pressKey(stepper, Qt::Key_Up);   // at the maximum: no step, no action
    EXPECT_DOUBLE_EQ(stepper->doubleValue(), 3.0);
    pressKey(stepper, Qt::Key_Down);
    pressKey(stepper, Qt::Key_Left);
    EXPECT_DOUBLE_EQ(stepper->doubleValue(), 1.0);
    pressKey(stepper, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(stepper->doubleValue(), 2.0);
    EXPECT_EQ(stepped, 4);
    stepper->setValueWraps(true);
    pressKey(stepper, Qt::Key_Up);
    pressKey(stepper, Qt::Key_Up);   // past the maximum: round to the minimum
    EXPECT_DOUBLE_EQ(stepper->doubleValue(), 0.0);

    // Disabled, neither answers the keys.
    slider->setEnabled(false);
    stepper->setEnabled(false);
    pressKey(slider, Qt::Key_Home);
    pressKey(stepper, Qt::Key_Up);
    EXPECT_DOUBLE_EQ(slider->doubleValue(), 25.0);
    EXPECT_DOUBLE_EQ(stepper->doubleValue(), 0.0);
}
