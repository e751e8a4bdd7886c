#include "UiTestSupport.h"

#include "platform-ui/Controls.h"
#include "platform-ui/Cursor.h"
#include "platform-ui/Images.h"
#include "platform-ui/Layer.h"
#include "platform-ui/Window.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>

#include <gtest/gtest.h>

using namespace platform::ui;
using namespace ui_test;

TEST(AttributedStringRuns, LaterAttributesReplaceOnlyTheirRange)
{
    AttributedString text(QStringLiteral("abcdefghij"), {{kKernAttributeName, 1.0}});
    text.addAttribute(kKernAttributeName, 2.0, {2, 3});
    text.addAttribute(kUnderlineStyleAttributeName, 1, {4, 4});
    TextRange range;
    EXPECT_DOUBLE_EQ(text.attribute(kKernAttributeName, 1, &range).toDouble(), 1.0);
    EXPECT_EQ(range, (TextRange{0, 2}));
    EXPECT_DOUBLE_EQ(text.attribute(kKernAttributeName, 3, &range).toDouble(), 2.0);
    EXPECT_EQ(range, (TextRange{2, 3}));
    EXPECT_DOUBLE_EQ(text.attribute(kKernAttributeName, 7).toDouble(), 1.0);
    const auto runs = text.runs();
    ASSERT_EQ(runs.size(), 5u); // 0-1, 2-3, 4, 5-7, 8-9
    EXPECT_EQ(runs[2].first, (TextRange{4, 1}));
    EXPECT_EQ(runs[2].second.size(), 2);
    text.addAttribute(kKernAttributeName, 3.0, {8, 50}); // clamped to the text
    EXPECT_DOUBLE_EQ(text.attribute(kKernAttributeName, 9).toDouble(), 3.0);
}

TEST(ColorType, HexTextAndHsbRoundTrip)
{
    bool ok = false;
    const Color withAlpha = Color::fromHexText(QStringLiteral("#FF000080"), &ok);
    EXPECT_TRUE(ok);
    EXPECT_DOUBLE_EQ(withAlpha.alphaComponent(), 128 / 255.0);
    Color::fromHexText(QStringLiteral("#12"), &ok);
    EXPECT_FALSE(ok);
    const Color colour(0.2, 0.6, 0.9, 0.5);
    double h, s, b, a;
    colour.getHSB(&h, &s, &b, &a);
    const Color back = Color::fromHSB(h, s, b, a, Color::Space::SRGB);
    EXPECT_NEAR(back.redComponent(), 0.2, 1e-12);
    EXPECT_NEAR(back.greenComponent(), 0.6, 1e-12);
    EXPECT_NEAR(back.blueComponent(), 0.9, 1e-12);
}

TEST(NamedImages, SizesInPointsAndMissingNames)
{
    EXPECT_EQ(pointSize(namedImage(QStringLiteral("spinner_tick"))), QSizeF(29, 22));
    EXPECT_EQ(pointSize(namedImage(QStringLiteral("modal-overlay-close"))), QSizeF(30, 30));
    EXPECT_EQ(namedImage(QStringLiteral("resizeBottomLeftToTopRightCursor.tiff")).cacheKey(),
              namedImage(QStringLiteral("resizeBottomLeftToTopRightCursor")).cacheKey());
    EXPECT_TRUE(namedImage(QStringLiteral("no-such-image")).isNull());
}

TEST(LayerAnimation, ImplicitAnimationStartsFromTheShownValue)
{
    manualClock();
    auto root = std::make_unique<Layer>();
    root->setChangeHandler([] {});
    Layer* layer = root->addSublayer(std::make_unique<Layer>());
    {
        TransactionScope scope;
        Transaction::setAnimationDuration(1.0);
        Transaction::setAnimationTimingFunction(TimingFunction::linear());
        layer->setPosition(QPointF(100, 0));
    }
    advance(0.5);
    EXPECT_NEAR(layer->presentationState().position.x(), 50, 1e-9);
    {
        TransactionScope scope;
        Transaction::setAnimationDuration(1.0);
        Transaction::setAnimationTimingFunction(TimingFunction::linear());
        layer->setPosition(QPointF(0, 0)); // turns back from where it is shown
    }
    EXPECT_NEAR(layer->presentationState().position.x(), 50, 1e-9);
    advance(0.5);
    EXPECT_NEAR(layer->presentationState().position.x(), 25, 1e-9);
    int stops = 0;
    auto finite = BasicAnimation::withKeyPath(QStringLiteral("opacity"));
    finite->fromValue = 0.0;
    finite->toValue = 1.0;
    finite->duration = 0.1;
    finite->didStop = [&stops](bool finished) { stops += finished ? 1 : 100; };
    layer->addAnimation(std::move(finite), QStringLiteral("fade"));
    advance(0.2);
    layer->presentationState();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(layer->animationForKey(QStringLiteral("fade")), nullptr);
}

TEST(LayerContents, NinePartStretchKeepsTheEdges)
{
    QImage source(10, 10, QImage::Format_ARGB32);
    source.fill(Qt::red);
    for (int i = 0; i < 10; ++i) {
        source.setPixelColor(i, 0, Qt::blue); // a one-pixel blue top edge
        source.setPixelColor(i, 9, Qt::blue);
    }
    Layer layer;
    layer.setAnchorPoint(QPointF(0, 0));
    layer.setBounds(QRectF(0, 0, 40, 40));
    layer.setContents(source);
    layer.setContentsCenter(QRectF(0.5, 0.5, 0.00001, 0.00001));
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        layer.render(painter, AnimationClock::shared().now());
    }
    EXPECT_TRUE(near(image.pixelColor(20, 0), QColor(Qt::blue), 30)); // the edge stays one pixel
    EXPECT_TRUE(near(image.pixelColor(20, 3), QColor(Qt::red), 30));
    EXPECT_TRUE(near(image.pixelColor(20, 39), QColor(Qt::blue), 30));
}

TEST(ControlActions, TargetLifetimeClickAndKeyEquivalent)
{
    Window window(QRectF(0, 0, 200, 100), WindowStyleBorderless);
    int sent = 0;
    auto target = std::make_unique<QObject>();
    auto* button = Button::withTitle(QStringLiteral("Go"), target.get(), [&sent](Control* sender) {
        EXPECT_NE(sender, nullptr);
        ++sent;
    }, window.contentView());
    button->setFrame(QRectF(10, 10, 80, 24));
    button->setKeyEquivalent(QStringLiteral("\r"));
    window.show();

    dispatch::sendMouse(button, QEvent::MouseButtonPress, QPointF(5, 5));
    dispatch::sendMouse(button, QEvent::MouseButtonRelease, QPointF(5, 5));
    EXPECT_EQ(sent, 1);
    dispatch::sendMouse(button, QEvent::MouseButtonPress, QPointF(5, 5)); // released outside: no action
    dispatch::sendMouse(button, QEvent::MouseButtonRelease, QPointF(150, 5));
    EXPECT_EQ(sent, 1);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(&window, &enter);
    EXPECT_EQ(sent, 2);
    button->setEnabled(false);
    QApplication::sendEvent(&window, &enter);
    EXPECT_EQ(sent, 2);
    button->setEnabled(true);
    target.reset(); // the target is gone: nothing is sent
    EXPECT_FALSE(button->sendAction());
    EXPECT_EQ(sent, 2);
}

TEST(ControlActions, ButtonsAreReachedByTabAndAnswerSpaceAndReturn)
{
    Window window(QRectF(0, 0, 300, 100), WindowStyleBorderless);
    int first = 0, second = 0;
    auto* field = new TextField(window.contentView());
    field->setEditable(true);
    field->setFrame(QRectF(10, 60, 100, 24));
    auto* one = Button::withTitle(QStringLiteral("Choose Folder..."), nullptr, [&](Control*) { ++first; }, window.contentView());
    one->setFrame(QRectF(10, 10, 120, 24));
    auto* two = Button::withTitle(QStringLiteral("Cancel"), nullptr, [&](Control*) { ++second; }, window.contentView());
    two->setFrame(QRectF(140, 10, 120, 24));
    window.show();
    window.makeKeyAndOrderFront();
    QApplication::setActiveWindow(window.contentView()->window());

    EXPECT_TRUE(one->focusPolicy() & Qt::TabFocus);
    one->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(one->hasFocus());
    const auto press = [](QWidget* to, int key, const QString& text) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(to, &down);
    };
    press(one, Qt::Key_Space, " ");
    EXPECT_EQ(first, 1);
    press(one, Qt::Key_Return, "\r");
    EXPECT_EQ(first, 2);
    press(one, Qt::Key_Enter, "\r");
    EXPECT_EQ(first, 3);
    press(one, Qt::Key_A, "a");   // other keys do nothing
    EXPECT_EQ(first, 3);
    // Tab moves on to the next button.
    press(one, Qt::Key_Tab, "\t");
    EXPECT_TRUE(two->hasFocus());
    press(two, Qt::Key_Space, " ");
    EXPECT_EQ(second, 1);
    EXPECT_EQ(first, 3);
    two->setEnabled(false);
    press(two, Qt::Key_Space, " ");
    EXPECT_EQ(second, 1);
}

TEST(WindowBasics, AccessoriesMainWindowAndScreenCoordinates)
{
    Window window(QRectF(50, 60, 300, 200));
    window.show();
    const QRectF qt = Window::qtRectFromScreen(window.frame());
    EXPECT_EQ(QRectF(window.geometry()), qt);
    auto* accessory = new View;
    accessory->setFrame(QRectF(0, 0, 10, 18));
    window.addTitlebarAccessoryView(accessory, 40);
    EXPECT_DOUBLE_EQ(window.titlebarHeight(), 40.0);
    EXPECT_DOUBLE_EQ(window.titleBarView()->frame().height(), 40.0);
    EXPECT_EQ(window.standardWindowButton(WindowButton::Close)->frame(), QRectF(7, 21, 14, 16)); // stays 3 from the top
    window.removeTitlebarAccessoryView(0);
    EXPECT_DOUBLE_EQ(window.titlebarHeight(), 22.0);

    Window borderless(QRectF(0, 0, 100, 100), WindowStyleBorderless);
    borderless.show();
    EXPECT_EQ(borderless.standardWindowButton(WindowButton::Close), nullptr);
    EXPECT_EQ(Application::mainWindow(), &window); // the first visible window that can be main
    EXPECT_TRUE(Application::windows().contains(&borderless));
}

TEST(StackViews, VerticalStackFromTheTop)
{
    StackView stack;
    stack.resize(100, 70);
    stack.setOrientation(StackView::Orientation::Vertical);
    stack.setSpacing(5);
    auto* first = new View;
    auto* second = new View;
    stack.addArrangedSubview(first);
    stack.addArrangedSubview(second);
    EXPECT_EQ(first->frame(), QRectF(0, 37.5, 100, 32.5)); // y up: the first view on top
    EXPECT_EQ(second->frame(), QRectF(0, 0, 100, 32.5));
    EXPECT_EQ(stack.indexOfArrangedSubview(second), 1);
}

// A label whose text changes gets the room the new text needs from the layout that holds it, a
// longer text and then a font of a larger size alike (no caller has to tell the layout itself).
TEST(TextFields, ALabelWhoseTextChangesGetsItsRoomFromItsLayout)
{
    using namespace platform::ui;
    QWidget row;
    auto* columns = new QHBoxLayout(&row);
    columns->setContentsMargins(0, 0, 0, 0);
    auto* label = TextField::labelWithString(QStringLiteral("EXPORT"), &row);
    columns->addWidget(label);
    columns->addStretch(1);
    row.resize(600, 40);
    row.show();
    QApplication::processEvents();
    const int shortWidth = label->width();
    ASSERT_GE(shortWidth, label->sizeHint().width());

    label->setStringValue(QStringLiteral("EXPORT 12 BLOCKS AS A COLLAGE"));
    QApplication::processEvents();
    EXPECT_GT(label->sizeHint().width(), shortWidth);
    EXPECT_GE(label->width(), label->sizeHint().width());

    QFont larger = label->font();
    larger.setPointSizeF(larger.pointSizeF() * 2);
    label->setFont(larger);
    QApplication::processEvents();
    EXPECT_GE(label->width(), label->sizeHint().width());
    EXPECT_GE(label->height(), label->sizeHint().height());

    // And gives it back when the text is short again.
    label->setStringValue(QStringLiteral("OK"));
    QApplication::processEvents();
    EXPECT_LT(label->width(), shortWidth * 2);
}
