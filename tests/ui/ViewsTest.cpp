#include "UiTestSupport.h"

#include "TestSupport.h"
#include "controls/ColorWithHex.h"
#include "controls/PLRErrorBox.h"
#include "controls/PLRHyperLinkView.h"
#include "controls/PLRSlidingButtonStack.h"
#include "controls/PLRSmallViews.h"
#include "platform-ui/Cursor.h"
#include "platform-ui/Window.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace platform::ui;
using namespace ui_test;

namespace {

class ClickRecorder : public View {
public:
    using View::View;
    void mouseDown(const MouseEvent& event) override { downs << event.locationIn(this); }
    void mouseEntered(const MouseEvent&) override { ++entered; }
    void mouseExited(const MouseEvent&) override { ++exited; }
    QList<QPointF> downs;
    int entered = 0, exited = 0;
};

// A view that lets every click through to what lies behind it.
class PassThrough : public View {
public:
    using View::View;
    QWidget* hitTest(const QPointF&) override { return nullptr; }
};

class FlippedRecorder : public ClickRecorder {
public:
    using ClickRecorder::ClickRecorder;
    bool isFlipped() const override { return true; }
};

} // namespace

TEST(Views, CoordinatesRunUpUnlessFlippedAndHitTestingPassesThrough)
{
    Window window(QRectF(0, 0, 200, 100), WindowStyleBorderless);
    View* content = window.contentView();
    auto* back = new ClickRecorder(content);
    back->setFrame(QRectF(10, 10, 100, 50)); // y up: 10 from the bottom
    auto* flipped = new FlippedRecorder(content);
    flipped->setFrame(QRectF(120, 10, 60, 60));
    auto* overlay = new PassThrough(content);
    overlay->setFrame(QRectF(0, 0, 200, 100));
    window.show();
    EXPECT_EQ(back->geometry(), QRect(10, 40, 100, 50));
    EXPECT_EQ(back->frame(), QRectF(10, 10, 100, 50));

    dispatch::sendMouse(back, QEvent::MouseButtonPress, QPointF(5, 40)); // near its top-left corner
    dispatch::sendMouse(back, QEvent::MouseButtonRelease, QPointF(5, 40));
    ASSERT_EQ(back->downs.size(), 1);
    EXPECT_EQ(back->downs.front(), QPointF(5, 40));
    dispatch::sendMouse(flipped, QEvent::MouseButtonPress, QPointF(5, 10));
    dispatch::sendMouse(flipped, QEvent::MouseButtonRelease, QPointF(5, 10));
    ASSERT_EQ(flipped->downs.size(), 1);
    EXPECT_EQ(flipped->downs.front(), QPointF(5, 10));

    // Tracking: the option number 1665 (entered/exited, active always, visible rect, drags).
    back->addTrackingArea(QRectF(), 1665);
    dispatch::sendMouse(back, QEvent::MouseMove, QPointF(50, 20));
    dispatch::sendMouse(back, QEvent::MouseMove, QPointF(60, 20));
    EXPECT_EQ(back->entered, 1);
    dispatch::sendMouse(content, QEvent::MouseMove, QPointF(190, 95));
    EXPECT_EQ(back->exited, 1);

    // Resizing the superview keeps a y-up frame's distance from the bottom.
    window.resize(200, 150);
    EXPECT_EQ(back->frame(), QRectF(10, 10, 100, 50));
    EXPECT_EQ(back->geometry().bottom(), 150 - 10 - 1);
}

TEST(Views, ASubviewItsSuperviewsLayoutPlacesStaysWhereTheLayoutPutsIt)
{
    // A view made with a frame and then handed to a layout (as a spinner under a text is): the
    // layout places it, also after the superview changes size; a view beside it that only has
    // its frame keeps following its frame.
    Window window(QRectF(0, 0, 200, 100), WindowStyleBorderless);
    auto* box = new View(window.contentView());
    box->setFrame(QRectF(0, 0, 200, 100));
    box->setAutoresizingMask(ViewWidthSizable | ViewHeightSizable);
    auto* rows = new QVBoxLayout(box);
    rows->setContentsMargins(10, 10, 10, 10);
    auto* label = TextField::labelWithString(QStringLiteral("Connecting..."), box);
    rows->addWidget(label);
    auto* inner = new QHBoxLayout;   // nested: the layout of a layout places it too
    auto* placed = new View(box);
    placed->setFrame(QRectF(0, 0, 20, 20));
    placed->setFixedSize(20, 20);
    inner->addWidget(placed, 0, Qt::AlignHCenter);
    rows->addLayout(inner);
    rows->addStretch(1);
    auto* loose = new View(box);
    loose->setFrame(QRectF(5, 5, 10, 10));
    window.show();
    for (const QSize size : {QSize(200, 100), QSize(300, 240), QSize(160, 70)}) {
        SCOPED_TRACE(size.height());
        window.resize(size);
        QApplication::processEvents();
        ASSERT_EQ(box->size(), size);
        EXPECT_NEAR(placed->x() + placed->width() / 2.0, box->width() / 2.0, 1.0);
        EXPECT_GE(placed->y(), label->geometry().bottom());
        EXPECT_LE(placed->y(), label->geometry().bottom() + 12);
        EXPECT_EQ(loose->geometry(), QRect(5, size.height() - 15, 10, 10));
    }
}

TEST(ErrorBox, BorderLabelCursorAndFocus)
{
    Window window(QRectF(0, 0, 300, 120), WindowStyleBorderless);
    auto* box = new PLRErrorBox(window.contentView());
    box->setIdentifier(QStringLiteral("password"));
    box->setFrame(QRectF(10, 40, 200, 40));
    const Color original(0.5, 0.6, 0.7);
    box->setBorderColor(original);
    auto* label = TextField::labelWithString(QStringLiteral("Wrong password"), window.contentView());
    auto* field = new TextField(window.contentView());
    field->setEditable(true);
    field->setFrame(QRectF(220, 40, 70, 24));
    auto* secondary = new TextField(window.contentView());
    secondary->setEditable(true);
    secondary->setFrame(QRectF(220, 80, 70, 24));
    box->setErrorLabel(label);
    box->setAssociatedField(field);
    box->setAssociatedFieldSecondary(secondary);
    box->awakeFromNib();
    window.show();
    window.activateWindow();

    EXPECT_TRUE(label->isHidden());
    EXPECT_EQ(label->textColor(), ColorWithHex::smb_errorRed());
    box->setErrorState(true);
    EXPECT_TRUE(box->isShowingError());
    EXPECT_EQ(box->borderColor(), ColorWithHex::smb_errorRed());
    EXPECT_FALSE(label->isHidden());
    box->setErrorState(false);
    EXPECT_EQ(box->borderColor(), original);
    EXPECT_TRUE(label->isHidden());

    // The password box ignores the pointer over its rightmost 50 points.
    ASSERT_EQ(box->trackingAreas().size(), 1u);
    EXPECT_EQ(box->trackingAreas().front()->rect(), QRectF(0, 0, 150, 40));
    dispatch::sendMouse(box, QEvent::MouseMove, QPointF(170, 20));
    EXPECT_EQ(Cursor::current().shape(), Qt::ArrowCursor);
    dispatch::sendMouse(box, QEvent::MouseMove, QPointF(100, 20));
    EXPECT_EQ(Cursor::current().shape(), Qt::IBeamCursor);
    dispatch::sendMouse(box, QEvent::MouseMove, QPointF(170, 20));
    EXPECT_EQ(Cursor::current().shape(), Qt::ArrowCursor);

    dispatch::sendMouse(box, QEvent::MouseButtonPress, QPointF(100, 20));
    dispatch::sendMouse(box, QEvent::MouseButtonRelease, QPointF(100, 20));
    EXPECT_EQ(window.focusWidget(), field->editor());
    field->hide();
    dispatch::sendMouse(box, QEvent::MouseButtonPress, QPointF(100, 20));
    dispatch::sendMouse(box, QEvent::MouseButtonRelease, QPointF(100, 20));
    EXPECT_EQ(window.focusWidget(), secondary->editor());
}

TEST(HyperLink, OnlyTheLinkTitleOpensItsAddress)
{
    Window window(QRectF(0, 0, 320, 40), WindowStyleBorderless);
    auto* view = new PLRHyperLinkView(window.contentView());
    view->setFrame(QRectF(0, 0, 320, 30));
    view->setStringValue(QStringLiteral("Read the terms of service"));
    view->setLinkTitle(QStringLiteral("terms"));
    view->setLinkURL(QStringLiteral("https://example.com/terms"));
    view->setTitleColor(Color(0.2, 0.2, 0.2));
    window.show();
    view->renderHyperLink();
    PLRHyperLinkTextField* field = view->linkField();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->frame(), QRectF(0, 0, 320, 30));
    EXPECT_EQ(field->alignment(), TextAlignment::Center);
    const AttributedString& text = field->textStorage();
    TextRange range;
    EXPECT_EQ(text.attribute(QString::fromLatin1(PLRHyperLinkAttributeName), 9, &range).toUrl(), QUrl(QStringLiteral("https://example.com/terms")));
    EXPECT_EQ(range, (TextRange{9, 5}));
    EXPECT_EQ(text.attribute(kFontAttributeName, 0).value<QFont>().pixelSize(), 13);

    // Find a point over the link and one over plain text.
    QPointF overLink(-1, -1), overText(-1, -1);
    for (double x = 0; x < 320; x += 1) {
        const int index = field->characterIndexForPoint(QPointF(x, 8));
        if (index >= 10 && index <= 12 && overLink.x() < 0) overLink = QPointF(x, 8);
        if (index == 1 && overText.x() < 0) overText = QPointF(x, 8);
    }
    ASSERT_GE(overLink.x(), 0);
    ASSERT_GE(overText.x(), 0);
    EXPECT_EQ(field->characterIndexForPoint(QPointF(2, 8)), -1); // centred text: empty margin

    auto& workspace = testing_support::recordingWorkspace();
    dispatch::sendMouse(field, QEvent::MouseMove, overLink);
    EXPECT_EQ(Cursor::current().shape(), Qt::PointingHandCursor);
    dispatch::sendMouse(field, QEvent::MouseMove, overText);
    EXPECT_EQ(Cursor::current().shape(), Qt::ArrowCursor);
    dispatch::sendMouse(field, QEvent::MouseButtonPress, overText);
    dispatch::sendMouse(field, QEvent::MouseButtonRelease, overText);
    EXPECT_TRUE(workspace.openedURLs.empty());
    dispatch::sendMouse(field, QEvent::MouseButtonPress, overLink);
    dispatch::sendMouse(field, QEvent::MouseButtonRelease, overLink);
    ASSERT_EQ(workspace.openedURLs.size(), 1u);
    EXPECT_EQ(workspace.openedURLs.front(), QUrl(QStringLiteral("https://example.com/terms")));
}

TEST(HyperLink, EmptyOrAbsentLinkTitleShowsNoText)
{
    PLRHyperLinkView view;
    view.resize(200, 20);
    view.setStringValue(QStringLiteral("No link here"));
    view.setLinkTitle(QStringLiteral("elsewhere"));
    view.renderHyperLink();
    EXPECT_EQ(view.linkField()->textStorage().length(), 0);
    view.setLinkTitle(QString());
    view.renderHyperLink();
    EXPECT_EQ(view.linkField()->textStorage().length(), 0);
}

namespace {
struct RecordingStackDelegate : PLRSlidingButtonStackDelegate {
    QList<qint64> selections;
    void buttonStack(PLRSlidingButtonStack*, qint64 index) override { selections << index; }
};
} // namespace

TEST(SlidingButtonStack, SelectionClicksAndDelegate)
{
    Window window(QRectF(0, 0, 300, 60), WindowStyleBorderless);
    auto* stack = new PLRSlidingButtonStack(window.contentView());
    stack->setFrame(QRectF(0, 0, 300, 40));
    RecordingStackDelegate delegate;
    stack->setSlidingDelegate(&delegate);
    PLRSlidingButtonCell* first = stack->addCell(QStringLiteral("Website"));
    PLRSlidingButtonCell* second = stack->addCell(QStringLiteral("Blog"));
    window.show();
    EXPECT_EQ(stack->selectedIndex(), -1);
    // The cells leave the stack's edges room for a cell's focus ring.
    EXPECT_EQ(PLRSlidingButtonStack::ringRoom(), 4.0);
    EXPECT_EQ(first->frame(), QRectF(4, 4, 146, 32));
    EXPECT_EQ(second->frame(), QRectF(150, 4, 146, 32));

    // A click on the label inside the cell reaches the cell (responder chain) and selects it.
    const QPointF middle = second->label()->frame().center();
    dispatch::sendMouse(second, QEvent::MouseButtonPress, middle);
    dispatch::sendMouse(second, QEvent::MouseButtonRelease, middle);
    EXPECT_EQ(stack->selectedIndex(), 1);
    EXPECT_TRUE(second->isSelected());
    EXPECT_EQ(second->label()->attributedStringValue().attribute(kFontAttributeName, 0).value<QFont>().weight(), QFont::Medium);
    stack->setSelectedIndex(0);
    EXPECT_FALSE(second->isSelected());
    EXPECT_EQ(second->label()->attributedStringValue().attribute(kFontAttributeName, 0).value<QFont>().weight(), QFont::Normal);
    stack->setSelectedIndex(0); // again: the delegate hears it again
    stack->setSelectedIndex(7); // no such cell: ignored
    EXPECT_EQ(delegate.selections, (QList<qint64>{1, 0, 0}));
    EXPECT_EQ(stack->selectedIndex(), 0);

    const auto operations = first->recordDrawing();
    ASSERT_EQ(operations.size(), 1u);
    EXPECT_EQ(operations[0].kind, DrawOperation::Kind::StrokePath);
    EXPECT_DOUBLE_EQ(operations[0].lineWidth, 2.0);
    EXPECT_EQ(operations[0].rect, QRectF(0, 2, 146, 0));
    EXPECT_EQ(operations[0].color, namedColor(QStringLiteral("plrTextColor")));
    EXPECT_TRUE(second->recordDrawing().empty());
}

TEST(StatusDot, DiameterColoursAndShadow)
{
    PLRStatusIndicatorView dot;
    dot.resize(20, 10);
    auto operations = dot.recordDrawing();
    ASSERT_EQ(operations.size(), 2u);
    EXPECT_EQ(operations[0].kind, DrawOperation::Kind::FillPath);
    EXPECT_EQ(operations[0].rect, QRectF(5.5, 0.5, 9, 9)); // diameter min(20, 10) - 1
    EXPECT_EQ(operations[0].color, ColorWithHex::smb_indicatorGreenColour());
    ASSERT_TRUE(dot.glow().has_value());   // the glow is drawn behind the view, past its edges
    EXPECT_DOUBLE_EQ(dot.glow()->blurRadius, 4.0);
    EXPECT_EQ(dot.glow()->color, ColorWithHex::smb_indicatorGreenColour());
    EXPECT_EQ(dot.glow()->offset, QSizeF(0, 0));
    EXPECT_EQ(operations[1].kind, DrawOperation::Kind::StrokePath);
    EXPECT_FALSE(operations[1].shadow.has_value());
    EXPECT_EQ(operations[1].color, ColorWithHex::smb_indicatorDarkGreenColour());
    EXPECT_DOUBLE_EQ(operations[1].lineWidth, 1.0);

    dot.setStatusValue(2);
    operations = dot.recordDrawing();
    EXPECT_EQ(operations[0].color, ColorWithHex::smb_indicatorRedColour());
    EXPECT_EQ(operations[1].color, ColorWithHex::smb_indicatorDarkRedColour());
    EXPECT_EQ(dot.glow()->color, ColorWithHex::smb_indicatorRedColour());
    dot.setStatusValue(7);   // no such status: no dot and no glow
    EXPECT_TRUE(dot.recordDrawing().empty());
    EXPECT_FALSE(dot.glow().has_value());

    // Green 2AC940 edged 2BAC2D, yellow FFBE2F edged D8E244, red FF5F58 edged E0A028.
    for (const auto& [status, fill, stroke] : {std::tuple{0, 0x2AC940u, 0x2BAC2Du}, std::tuple{1, 0xFFBE2Fu, 0xD8E244u},
                                               std::tuple{2, 0xFF5F58u, 0xE0A028u}}) {
        SCOPED_TRACE(status);
        dot.setStatusValue(status);
        operations = dot.recordDrawing();
        ASSERT_EQ(operations.size(), 2u);
        EXPECT_TRUE(isHex(operations[0].color, fill));
        EXPECT_TRUE(isHex(dot.glow()->color, fill));
        EXPECT_TRUE(isHex(operations[1].color, stroke));
    }

    dot.resize(20, 20);
    dot.setStatusValue(1);
    const QImage image = renderOnWhite(&dot);
    EXPECT_TRUE(near(image.pixelColor(10, 10), rgb("FFBE2F")));
    EXPECT_TRUE(near(image.pixelColor(0, 0), QColor(Qt::white), 30));
}

TEST(StatusDot, TheGlowFadesRoundPastTheViewsEdges)
{
    View holder;
    holder.resize(60, 60);
    auto* dot = new PLRStatusIndicatorView(&holder);
    dot->setFrame(QRectF(20, 20, 20, 20));   // Qt 20..40 both ways, centre (30, 30), dot radius 9.5
    dot->setStatusValue(2);
    const QImage image = renderOnWhite(&holder);
    // The glow reaches past every edge of the view...
    for (const QPoint p : {QPoint(30, 18), QPoint(30, 41), QPoint(18, 30), QPoint(41, 30)}) {
        const QColor c = image.pixelColor(p);
        EXPECT_LT(c.green(), 235) << p.x() << "," << p.y() << " " << c.name().toStdString();
        EXPECT_GT(c.red(), c.green() + 15) << p.x() << "," << p.y() << " " << c.name().toStdString();
    }
    // ...and is round: in each ring round the centre it is as strong outside the view's
    // rectangle (across an edge) as inside it (towards a corner), so nothing cuts it square.
    for (double from = 10.5; from < 13.5; from += 1.0) {
        double inside = 0, outside = 0;
        int insideCount = 0, outsideCount = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x) {
                const double distance = std::hypot(x + 0.5 - 30.0, y + 0.5 - 30.0);
                if (distance < from || distance >= from + 1.0)
                    continue;
                const int glow = 255 - image.pixelColor(x, y).green();
                if (x >= 20 && x < 40 && y >= 20 && y < 40) {
                    inside += glow;
                    ++insideCount;
                } else {
                    outside += glow;
                    ++outsideCount;
                }
            }
        ASSERT_GT(insideCount, 0);
        ASSERT_GT(outsideCount, 0);
        inside /= insideCount;
        outside /= outsideCount;
        EXPECT_GT(outside, 5.0) << from;
        EXPECT_NEAR(outside, inside, std::max(4.0, inside * 0.25)) << from;
    }
    // It fades to nothing a few points out.
    EXPECT_TRUE(near(image.pixelColor(30, 8), Qt::white)) << image.pixelColor(30, 8).name().toStdString();
    EXPECT_TRUE(near(image.pixelColor(12, 12), Qt::white)) << image.pixelColor(12, 12).name().toStdString();
    // The dot itself sits where it did.
    EXPECT_TRUE(near(image.pixelColor(30, 30), rgb("FF5F58")));
}

TEST(PanelViews, LinesDividerPillAndBackgroundColour)
{
    const Color border = namedColor(QStringLiteral("plrControlBorderColor"));
    InspectorBGView panel;
    panel.resize(100, 40);
    auto operations = panel.recordDrawing();
    ASSERT_EQ(operations.size(), 1u);
    EXPECT_EQ(operations[0].rect, QRectF(0, 39, 100, 1)); // flipped: the bottom line
    EXPECT_EQ(operations[0].color, border);
    panel.setLineOnLeft(true);
    EXPECT_EQ(panel.recordDrawing()[0].rect, QRectF(0, 0, 1, 40));
    panel.setLineOnTop(true);
    panel.setDrawBG(true);
    panel.setBgColour(ColorWithHex::smb_inspectorDetailGrey());
    operations = panel.recordDrawing();
    ASSERT_EQ(operations.size(), 2u);
    EXPECT_EQ(operations[0].rect, QRectF(0, 0, 100, 40));
    EXPECT_EQ(operations[1].rect, QRectF(0, 0, 100, 1));
    panel.setDrawLine(false);
    EXPECT_EQ(panel.recordDrawing().size(), 1u);

    PLRDividorVeiw divider;
    divider.resize(10, 30);
    EXPECT_EQ(divider.recordDrawing()[0].rect, QRectF(0, 0, 1, 30));

    PLRNumberPill pill;
    pill.resize(30, 18);
    pill.awakeFromNib();
    EXPECT_DOUBLE_EQ(pill.layer()->cornerRadius(), 9.0);
    EXPECT_TRUE(pill.layer()->masksToBounds());
    EXPECT_EQ(pill.layer()->backgroundColor(), namedColor(QStringLiteral("plrNumberPillColor")));

    PLRBackgroundColourView background;
    background.resize(10, 10);
    background.setBackgroundColour(ColorWithHex::smb_homeBackground());
    EXPECT_EQ(background.layer()->backgroundColor(), ColorWithHex::smb_homeBackground());
    EXPECT_TRUE(near(renderOnWhite(&background).pixelColor(5, 5), rgb("E5E5E5")));
}

TEST(AspectFill, CentreBandOfTheImage)
{
    // A square image in a wide view: full width, height W * h / w, centred.
    EXPECT_EQ(PLRAspectFillImageView::sourceRect(QSizeF(100, 100), QSizeF(200, 50)), QRectF(0, 37.5, 100, 25));
    EXPECT_EQ(PLRAspectFillImageView::sourceRect(QSizeF(100, 100), QSizeF(50, 200)), QRectF(37.5, 0, 25, 100));

    PLRAspectFillImageView view;
    view.resize(200, 50);
    view.setImageScaling(ImageScaling::ProportionallyDown);
    EXPECT_EQ(view.imageScaling(), ImageScaling::AxesIndependently);
    QImage image(100, 100, QImage::Format_ARGB32);
    image.fill(Qt::red);
    for (int y = 40; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            image.setPixelColor(x, y, Qt::blue);
    view.setImage(image);
    const auto operations = view.recordDrawing();
    ASSERT_EQ(operations.size(), 1u);
    EXPECT_EQ(operations[0].rect, QRectF(0, 0, 200, 50));
    EXPECT_EQ(operations[0].sourceRect, QRectF(0, 37.5, 100, 25));
    EXPECT_EQ(operations[0].composition, QPainter::CompositionMode_Source);
    const QImage shown = renderOnWhite(&view);
    EXPECT_TRUE(near(shown.pixelColor(100, 25), QColor(Qt::blue)));
    EXPECT_TRUE(near(shown.pixelColor(100, 2), QColor(Qt::red)));
    view.setImage(Image{});
    EXPECT_TRUE(view.image().isNull());
}

TEST(TextFields, RoundedGreyBorder)
{
    PLRTextField field;
    field.resize(120, 24);
    const auto operations = field.recordDrawing();
    ASSERT_FALSE(operations.empty());
    const DrawOperation& border = operations.back();
    EXPECT_EQ(border.kind, DrawOperation::Kind::StrokePath);
    EXPECT_DOUBLE_EQ(border.lineWidth, 2.0);
    EXPECT_EQ(border.color, ColorWithHex::smb_controlGreyBorder());
    EXPECT_EQ(border.rect, QRectF(0, 0, 120, 24));
    PLRSecureTextField secure;
    EXPECT_EQ(secure.editor()->echoMode(), QLineEdit::Password);
}

TEST(TextFields, ALongValueShowsFromItsStartOutsideEditing)
{
    QWidget window;
    auto* field = new PLRTextField(&window);
    field->resize(80, 24);
    window.show();
    // Set while the user is elsewhere (a page filling itself).
    field->setStringValue(QStringLiteral("https://photos.example.com/iceland/coast"));
    EXPECT_EQ(field->editor()->cursorPosition(), 0);
    // Typed, then left: back to the start.
    field->editor()->end(false);
    field->editor()->insert(QStringLiteral("/walk"));
    EXPECT_GT(field->editor()->cursorPosition(), 0);
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(field->editor(), &leave);
    EXPECT_EQ(field->editor()->cursorPosition(), 0);
}

TEST(Buttons, ALongerTitleWidensTheButtonInItsLayout)
{
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    Button* button = Button::withTitle(QStringLiteral("Publish"), nullptr, nullptr, &window);
    row->addStretch(1);
    row->addWidget(button);
    window.resize(300, 40);
    window.show();
    QApplication::processEvents();
    const int before = button->width();
    button->setTitle(QStringLiteral("Un-publish"));
    QApplication::processEvents();
    EXPECT_GT(button->width(), before);
    EXPECT_GE(button->width(), button->sizeHint().width());
}

TEST(Views, ATopLevelViewHitTestsInItsOwnCoordinates)
{
    // A view shown as a window by itself (no platform window around it), y up.
    View root;
    root.resize(200, 100);
    auto* bottomLeft = new ClickRecorder(&root);
    bottomLeft->setFrame(QRectF(0, 0, 50, 30));
    auto* topRight = new ClickRecorder(&root);
    topRight->setFrame(QRectF(150, 70, 50, 30));
    root.show();
    // Qt's y runs down: (10, 90) is near the bottom-left corner.
    EXPECT_EQ(View::hitTestWindow(&root, QPointF(10, 90)), bottomLeft);
    EXPECT_EQ(View::hitTestWindow(&root, QPointF(190, 10)), topRight);
    EXPECT_EQ(View::hitTestWindow(&root, QPointF(100, 50)), &root);
}
