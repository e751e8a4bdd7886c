// The application's buttons: the layer-hosted button's looks and clicks, the check box and radio
// button drawing, the link, gradient, flat and spaced-image buttons, and the help button's
// tool-tip window.

#include "UiTestSupport.h"

#include "TestSupport.h"
#include "controls/ColorWithHex.h"
#include "controls/KitHelpers.h"
#include "controls/PLRButton.h"
#include "controls/PLRCheckboxButton.h"
#include "controls/PLRHelpButton.h"
#include "controls/PLRLinkButtons.h"
#include "platform-ui/Cursor.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "platform-ui/Window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWindow>

using namespace platform::ui;
using namespace ui_test;

namespace {

Color grey(double brightness) { return Color::fromHSB(0, 0, brightness, 1.0); }

struct Fixture {
    Window window{QRectF(100, 100, 400, 200), WindowStyleBorderless};
    Fixture() { window.show(); }
    View* content() { return window.contentView(); }
};

MouseEvent plainEvent() { return MouseEvent(); }

std::vector<DrawOperation> ops(View& view, DrawOperation::Kind kind)
{
    std::vector<DrawOperation> found;
    for (const DrawOperation& op : view.recordDrawing())
        if (op.kind == kind)
            found.push_back(op);
    return found;
}

} // namespace

TEST(LayerButton, RestingLooksByStyle)
{
    manualClock();
    Fixture f;
    auto* primary = new PLRButton(f.content());
    primary->setFrame(QRectF(10, 10, 120, 32));
    EXPECT_EQ(primary->containerLayer()->backgroundColor(), Color::black()); // style never set
    primary->setButtonStyle(PLRButton::Primary);
    EXPECT_EQ(primary->containerLayer()->backgroundColor(), grey(0.11));
    EXPECT_DOUBLE_EQ(primary->layer()->borderWidth(), 0.0);
    EXPECT_EQ(primary->titleLayer()->foregroundColor(), Color::white());

    auto* secondary = new PLRButton(f.content());
    secondary->setButtonStyle(PLRButton::Secondary);
    EXPECT_EQ(secondary->containerLayer()->backgroundColor(), Color::clear());
    EXPECT_EQ(secondary->layer()->borderColor(), grey(0.74));
    EXPECT_DOUBLE_EQ(secondary->layer()->borderWidth(), 1.0);
    EXPECT_EQ(secondary->titleLayer()->foregroundColor(), grey(0.5));

    // Style 2 rests like a secondary button, but hovering changes only the shadow.
    auto* other = new PLRButton(f.content());
    other->setButtonStyle(2);
    EXPECT_DOUBLE_EQ(other->layer()->borderWidth(), 1.0);
    other->mouseEntered(plainEvent());
    EXPECT_DOUBLE_EQ(other->layer()->borderWidth(), 1.0);
    EXPECT_EQ(other->containerLayer()->backgroundColor(), Color::clear());
    EXPECT_EQ(other->containerLayer()->shadowColor(), Color(0.5, 0.5, 0.5));
    secondary->mouseEntered(plainEvent());
    EXPECT_DOUBLE_EQ(secondary->layer()->borderWidth(), 0.0);
    EXPECT_EQ(secondary->containerLayer()->backgroundColor(), Color::black());
    EXPECT_EQ(secondary->titleLayer()->foregroundColor(), Color::white());
    secondary->mouseExited(plainEvent());
    EXPECT_DOUBLE_EQ(secondary->layer()->borderWidth(), 1.0);
    EXPECT_EQ(secondary->containerLayer()->shadowColor(), Color::clear());
}

TEST(LayerButton, ClicksPressLookAndDisabled)
{
    manualClock();
    Fixture f;
    auto* button = new PLRButton(f.content());
    button->setFrame(QRectF(10, 10, 120, 32));
    button->setButtonStyle(PLRButton::Secondary);
    int sent = 0;
    Control* sender = nullptr;
    button->setAction([&](Control* s) { ++sent; sender = s; });
    f.window.show();
    button->show();

    dispatch::sendMouse(button, QEvent::MouseButtonPress, QPointF(10, 10));
    EXPECT_TRUE(button->isMouseDown());
    EXPECT_EQ(button->state(), Button::StateOn);
    dispatch::sendMouse(button, QEvent::MouseButtonRelease, QPointF(10, 10));
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(sender, button);
    EXPECT_EQ(button->state(), Button::StateOff);

    // Down inside, out and back in: pressed again; released outside: nothing sent.
    dispatch::sendMouse(button, QEvent::MouseButtonPress, QPointF(10, 10));
    button->mouseExited(plainEvent());
    EXPECT_EQ(button->state(), Button::StateOff);
    button->mouseEntered(plainEvent());
    EXPECT_EQ(button->state(), Button::StateOn);
    EXPECT_EQ(button->containerLayer()->backgroundColor(), Color::black());
    button->mouseExited(plainEvent());
    dispatch::sendMouse(button, QEvent::MouseButtonRelease, QPointF(300, 10));
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(button->state(), Button::StateOff);

    // Disabled: half transparent, clicks reach the view behind it.
    button->setEnabled(false);
    EXPECT_DOUBLE_EQ(button->alphaValue(), 0.5);
    EXPECT_EQ(button->hitTest(button->frame().center()), nullptr);
    dispatch::sendMouse(button, QEvent::MouseButtonPress, QPointF(10, 10));
    dispatch::sendMouse(button, QEvent::MouseButtonRelease, QPointF(10, 10));
    EXPECT_EQ(sent, 1);
    button->setEnabled(true);
    EXPECT_DOUBLE_EQ(button->alphaValue(), 1.0);
}

TEST(LayerButton, TitleCentresAndShadowFollowsSize)
{
    manualClock();
    Fixture f;
    auto* button = new PLRButton(f.content());
    button->setFrame(QRectF(0, 0, 100, 30));
    button->setTitle(QStringLiteral("Continue"));
    EXPECT_TRUE(button->titleLayer()->string().isEmpty()); // no font yet: no title
    button->setFont(systemFont(13));
    EXPECT_EQ(button->titleLayer()->string(), QStringLiteral("Continue"));
    const QRectF title = button->titleLayer()->frame();
    EXPECT_EQ(title.x(), std::floor(title.x()));
    EXPECT_NEAR(title.center().x(), 50.0, 1.0);
    button->setTitle(QStringLiteral("A title far wider than the button itself"));
    EXPECT_LT(button->titleLayer()->frame().x(), 0.0);

    button->setFrame(QRectF(0, 0, 160, 40));
    EXPECT_EQ(button->containerLayer()->frame(), QRectF(0, 0, 160, 40));
    ASSERT_TRUE(button->containerLayer()->shadowPath());
    EXPECT_EQ(button->containerLayer()->shadowPath()->boundingRect(), QRectF(0, 35, 159, 5));
    EXPECT_TRUE(button->containerLayer()->animationKeys().isEmpty());
    EXPECT_TRUE(button->trackingAreas().empty()); // made in code: no hover tracking
    button->awakeFromNib();
    ASSERT_EQ(button->trackingAreas().size(), 1u);
    EXPECT_EQ(button->trackingAreas().front()->options(), 1665u);
}

TEST(LayerButton, TitleStaysOnOneLineAndTheHoverShadowShowsBelow)
{
    manualClock();
    Fixture f;
    auto* button = new PLRButton(f.content());
    button->setFrame(QRectF(50, 50, 60, 30));   // content y up: Qt rows 120 to 150
    button->setFont(systemFont(13));
    button->setTitle(QStringLiteral("Sec hover"));
    button->setButtonStyle(PLRButton::Secondary);
    button->awakeFromNib();
    button->setFocusPolicy(Qt::NoFocus);   // no focus ring near the shadow here
    button->show();
    QApplication::processEvents();

    // One line: no ink in the rows under the title's line.
    const QImage alone = renderOnWhite(button);
    const QRectF title = button->titleLayer()->frame();
    int inkBelow = 0, inkInLine = 0;
    for (int y = 2; y < 28; ++y)
        for (int x = 2; x < 58; ++x) {
            if (alone.pixelColor(x, y).lightness() > 200)
                continue;
            if (y > title.bottom() + 1)
                ++inkBelow;
            else
                ++inkInLine;
        }
    EXPECT_EQ(inkBelow, 0);
    EXPECT_GT(inkInLine, 20);

    // Hovered, the shadow shows just below the button's bottom edge (outside its rectangle).
    EXPECT_TRUE(near(renderOnWhite(f.content()).pixelColor(80, 152), Qt::white));
    button->mouseEntered(plainEvent());
    const QColor below = renderOnWhite(f.content()).pixelColor(80, 152);
    EXPECT_LT(below.lightness(), 240) << below.name().toStdString();
    button->mouseExited(plainEvent());
    EXPECT_TRUE(near(renderOnWhite(f.content()).pixelColor(80, 152), Qt::white));
}

TEST(LayerButton, APrimaryButtonShowsItsHoverShadowAgainAfterAClick)
{
    manualClock();
    Fixture f;
    auto* button = new PLRButton(f.content());
    button->setFrame(QRectF(50, 50, 60, 30));   // content y up: Qt rows 120 to 150
    button->setFont(systemFont(13));
    button->setTitle(QStringLiteral("Continue"));
    button->setButtonStyle(PLRButton::Primary);
    button->awakeFromNib();
    button->setFocusPolicy(Qt::NoFocus);   // no focus ring near the shadow here
    int sent = 0;
    button->setAction([&](Control*) { ++sent; });
    button->show();
    QApplication::processEvents();
    // The shadow shows just below the button's bottom edge.
    const auto shadowShows = [&] {
        advance(0.5);
        return renderOnWhite(f.content()).pixelColor(80, 152).lightness() < 240;
    };
    EXPECT_FALSE(shadowShows());
    button->mouseEntered(plainEvent());
    EXPECT_TRUE(shadowShows());

    // Pressed: no shadow. Released inside: the click is sent and, the pointer still over the
    // button, its hover shadow is back; clicking again does the same.
    for (int click = 1; click <= 2; ++click) {
        SCOPED_TRACE(click);
        dispatch::sendMouse(button, QEvent::MouseButtonPress, QPointF(30, 15));
        EXPECT_FALSE(shadowShows());
        dispatch::sendMouse(button, QEvent::MouseButtonRelease, QPointF(30, 15));
        EXPECT_EQ(sent, click);
        EXPECT_TRUE(shadowShows());
    }

    // Released outside after a press: no click and no hover shadow once the pointer has left.
    dispatch::sendMouse(button, QEvent::MouseButtonPress, QPointF(30, 15));
    button->mouseExited(plainEvent());
    dispatch::sendMouse(button, QEvent::MouseButtonRelease, QPointF(300, 15));
    EXPECT_EQ(sent, 2);
    EXPECT_FALSE(shadowShows());
}

TEST(CheckboxAndRadio, RadioButtonsOfOneSuperviewFormAGroup)
{
    Fixture f;
    auto* group = new View(f.content());
    auto* first = new PLRRadioButton(group);
    auto* second = new PLRRadioButton(group);
    auto* elsewhere = new PLRRadioButton(f.content());
    auto* box = new PLRCheckboxButton(group);
    first->setState(Button::StateOn);
    elsewhere->setState(Button::StateOn);
    box->setState(Button::StateOn);
    int actions = 0;
    second->setAction([&](Control*) { ++actions; });
    second->performClick();
    EXPECT_EQ(second->state(), Button::StateOn);
    EXPECT_EQ(first->state(), Button::StateOff);
    EXPECT_EQ(elsewhere->state(), Button::StateOn);   // another superview, another group
    EXPECT_EQ(box->state(), Button::StateOn);         // check boxes are no part of it
    EXPECT_EQ(actions, 1);
    first->performClick();
    EXPECT_EQ(second->state(), Button::StateOff);
}

TEST(CheckboxAndRadio, ImagesAndTitleColoursFollowTheState)
{
    Fixture f;
    auto* box = new PLRCheckboxButton(f.content());
    box->setFrame(QRectF(10, 10, 200, 18));
    box->setTitle(QStringLiteral("Sharpen"));
    EXPECT_EQ(box->boxImage().cacheKey(), box->checkboxUncheckedImage().cacheKey());
    EXPECT_EQ(box->titleColor(), namedColor(QStringLiteral("plrTextCheckboxInactive")));
    EXPECT_EQ(box->boxRect(), QRectF(QPointF(2, 2), pointSize(box->checkboxCheckedImage())));

    box->setHighlighted(true); // pressed while off: the highlight goes over the unchecked box
    ASSERT_NE(box->highlightImage(), nullptr);
    EXPECT_EQ(box->highlightImage()->cacheKey(), box->checkboxUncheckedHighlightedImage().cacheKey());
    EXPECT_EQ(ops(*box, DrawOperation::Kind::Image).size(), 2u);
    box->setHighlighted(false);

    box->performClick();
    EXPECT_EQ(box->state(), Button::StateOn);
    EXPECT_EQ(box->titleColor(), namedColor(QStringLiteral("plrTextColor")));
    // Pressed while ticked: the ticked highlight goes over the ticked box.
    box->setHighlighted(true);
    ASSERT_NE(box->highlightImage(), nullptr);
    ASSERT_NE(namedImage(QStringLiteral("checkbox-checked-highlighted")), namedImage(QStringLiteral("checkbox-unchecked-highlighted")));
    EXPECT_EQ(*box->highlightImage(), namedImage(QStringLiteral("checkbox-checked-highlighted")));
    EXPECT_EQ(box->boxImage(), namedImage(QStringLiteral("checkbox-checked")));
    EXPECT_EQ(ops(*box, DrawOperation::Kind::Image).size(), 2u);
    box->setHighlighted(false);
    box->setEnabled(false);
    EXPECT_EQ(box->boxImage().cacheKey(), box->checkboxCheckedImageDisabled().cacheKey());
    EXPECT_EQ(box->titleColor(), namedColor(QStringLiteral("plrTextControlDisabled")));
    box->setState(Button::StateOff);
    EXPECT_EQ(box->boxImage().cacheKey(), box->checkboxUncheckedImageDisabled().cacheKey());
    box->setEnabled(true);
    box->setState(Button::StateMixed); // mixed draws as off
    EXPECT_EQ(box->boxImage().cacheKey(), box->checkboxUncheckedImage().cacheKey());
    const auto texts = ops(*box, DrawOperation::Kind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_DOUBLE_EQ(texts.front().rect.x(), 24.0);
    EXPECT_DOUBLE_EQ(texts.front().rect.width(), 200.0); // broken at the frame's width, clipped

    auto* radio = new PLRRadioButton(f.content());
    radio->setFrame(QRectF(10, 40, 200, 18));
    radio->setTitle(QStringLiteral("Collage"));
    const auto radioTexts = ops(*radio, DrawOperation::Kind::Text);
    ASSERT_EQ(radioTexts.size(), 1u);
    EXPECT_DOUBLE_EQ(radioTexts.front().rect.x(), 20.0);   // nearer its circle than a check box's title
    EXPECT_DOUBLE_EQ(radioTexts.front().rect.width(), 200.0);
    auto strokes = ops(*radio, DrawOperation::Kind::StrokePath);
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes.front().color, namedColor(QStringLiteral("plrRadioButtonInactive")));
    EXPECT_TRUE(ops(*radio, DrawOperation::Kind::FillPath).empty());
    radio->performClick();
    radio->performClick(); // a radio button only turns on
    EXPECT_EQ(radio->state(), Button::StateOn);
    const auto fills = ops(*radio, DrawOperation::Kind::FillPath);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills.front().color, namedColor(QStringLiteral("plrRadioButtonActive")));
    EXPECT_EQ(fills.front().path.boundingRect(), QRectF(5, 5, 7, 7));
    radio->setInsetAmount(4.0);
    EXPECT_EQ(ops(*radio, DrawOperation::Kind::FillPath).front().path.boundingRect(), QRectF(6, 6, 5, 5));
}

namespace {

// The WCAG contrast ratio of two colours (1 to 21).
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The darkest pixel of a button's title (right of its box or circle), drawn on white at a scale.
QColor darkestTitlePixel(QWidget* button, double titleX, double scale)
{
    QImage image((QSizeF(button->size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    button->render(&image);
    QColor darkest = Qt::white;
    for (int y = 0; y < image.height(); ++y)
        for (int x = int(titleX * scale); x < image.width(); ++x)
            if (image.pixelColor(x, y).lightness() < darkest.lightness())
                darkest = image.pixelColor(x, y);
    return darkest;
}

} // namespace

TEST(CheckboxAndRadio, AnEnabledTitleReadsAsEnabledWhetherTickedOrNot)
{
    // Body text needs a contrast of 4.5 to its background; the disabled title stays below 3.
    Fixture f;
    auto* box = new PLRCheckboxButton(f.content());
    box->setFrame(QRectF(10, 10, 220, 18));
    box->setTitle(QStringLiteral("Include original file name"));
    auto* radio = new PLRRadioButton(f.content());
    radio->setFrame(QRectF(10, 40, 220, 18));
    radio->setTitle(QStringLiteral("Export collage"));
    for (const double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        box->setEnabled(true);
        box->setState(Button::StateOff);
        const QColor unticked = darkestTitlePixel(box, 24, scale);
        EXPECT_GE(contrast(unticked, Qt::white), 4.5) << unticked.name().toStdString();
        box->setState(Button::StateOn);
        EXPECT_GE(contrast(darkestTitlePixel(box, 24, scale), Qt::white), 4.5);
        box->setEnabled(false);
        const QColor disabled = darkestTitlePixel(box, 24, scale);
        EXPECT_LT(contrast(disabled, Qt::white), 3.0) << disabled.name().toStdString();
        box->setState(Button::StateOff);
        EXPECT_LT(contrast(darkestTitlePixel(box, 24, scale), Qt::white), 3.0);

        radio->setState(Button::StateOff);
        const QColor unchosen = darkestTitlePixel(radio, 20, scale);
        EXPECT_GE(contrast(unchosen, Qt::white), 4.5) << unchosen.name().toStdString();
    }
}

TEST(LinkButtons, ModuleLinkRecoloursAndRestoresTheCursor)
{
    Fixture f;
    auto* link = new Pellora_Publish::PLRLinkButton(f.content());
    link->setFrame(QRectF(10, 10, 120, 20));
    link->setTitle(QStringLiteral("Publish"));
    link->awakeFromNib();
    link->show();
    auto colourOf = [link] {
        return link->attributedTitle()->attribute(QLatin1String(kForegroundColorAttributeName), 0).value<Color>();
    };
    EXPECT_EQ(colourOf(), link->defaultColor());
    dispatch::sendMouse(link, QEvent::MouseButtonPress, QPointF(5, 5));
    EXPECT_EQ(colourOf(), link->activeColor());
    dispatch::sendMouse(link, QEvent::MouseButtonRelease, QPointF(300, 5)); // ends outside
    EXPECT_EQ(colourOf(), link->defaultColor());

    // A new attributed title keeps its colour until setNeedsDisplay.
    link->setAttributedTitle(AttributedString(QStringLiteral("Cancel"), {{kForegroundColorAttributeName, QVariant::fromValue(Color::black())}}));
    EXPECT_EQ(colourOf(), Color::black());
    link->setNeedsDisplay();
    EXPECT_EQ(colourOf(), link->defaultColor());
    // A new plain title followed by setNeedsDisplay shows that title, in the link colour.
    link->setTitle(QStringLiteral("Un-publish"));
    link->setNeedsDisplay();
    EXPECT_EQ(link->attributedTitle()->string(), QStringLiteral("Un-publish"));
    EXPECT_EQ(colourOf(), link->defaultColor());

    link->mouseEntered(plainEvent());
    EXPECT_EQ(Cursor::current(), Cursor::pointingHandCursor());
    link->setEnabled(false); // disabled while the pointer is over it: leaving still restores the arrow
    link->mouseExited(plainEvent());
    EXPECT_EQ(Cursor::current(), Cursor::arrowCursor());
    link->mouseEntered(plainEvent());
    EXPECT_EQ(Cursor::current(), Cursor::arrowCursor());

    auto* plain = new PLRLinkButton(f.content());
    plain->setTitle(QStringLiteral("No plug-in?"));
    plain->setDrawUnderline(false);
    plain->awakeFromNib();
    EXPECT_FALSE(plain->attributedTitle()->attribute(QLatin1String(kUnderlineStyleAttributeName), 0).isValid());
    plain->setDrawUnderline(true);
    plain->awakeFromNib();
    TextRange range;
    EXPECT_EQ(plain->attributedTitle()->attribute(QLatin1String(kUnderlineStyleAttributeName), 0, &range).toInt(), 1);
    EXPECT_EQ(range.length, plain->title().size());
}

TEST(LinkButtons, GradientFlatAndSpacedImage)
{
    Fixture f;
    auto* gradient = new PLRGradientButton(f.content());
    gradient->setFrame(QRectF(10, 10, 120, 30));
    gradient->setStartColour(Color(0.2, 0.4, 0.8));
    gradient->setEndColour(Color(0.1, 0.3, 0.7));
    gradient->setDisabledColour(Color(0.8, 0.8, 0.8));
    gradient->setTitle(QStringLiteral("Publish"));
    EXPECT_EQ(gradient->gradientColours()->first, Color(0.2, 0.4, 0.8));
    gradient->setHighlighted(true);
    EXPECT_EQ(gradient->gradientColours()->first, ColorWithHex::darkerColor(Color(0.2, 0.4, 0.8)));
    // Pressed, both ends are darker: brightness x 0.8, hue and saturation kept, so each channel
    // of the blue style's 6AB3FA and 087FFF scales by 0.8.
    gradient->setStartColour(ColorWithHex::gradientBlueStartColour());
    gradient->setEndColour(ColorWithHex::gradientBlueEndColour());
    for (const auto& [end, hex] : {std::pair{gradient->gradientColours()->first, 0x6AB3FAu},
                                   std::pair{gradient->gradientColours()->second, 0x087FFFu}}) {
        EXPECT_NEAR(end.redComponent(), 0.8 * ((hex >> 16) & 0xFF) / 255.0, 1e-6);
        EXPECT_NEAR(end.greenComponent(), 0.8 * ((hex >> 8) & 0xFF) / 255.0, 1e-6);
        EXPECT_NEAR(end.blueComponent(), 0.8 * (hex & 0xFF) / 255.0, 1e-6);
    }
    gradient->setHighlighted(false);
    EXPECT_TRUE(isHex(gradient->gradientColours()->second, 0x087FFF));
    gradient->setHighlighted(true);
    gradient->setEnabled(false);
    EXPECT_EQ(gradient->gradientColours()->first, Color(0.8, 0.8, 0.8));
    EXPECT_EQ(gradient->gradientColours()->second, Color(0.8, 0.8, 0.8));
    gradient->setTitleColour(Color(1, 0, 0));
    EXPECT_EQ(gradient->attributedTitle()->attribute(QLatin1String(kForegroundColorAttributeName), 0).value<Color>(),
              Color(1, 0, 0, 0.26));
    PLRGradientButton bare; // no colours yet: only the title is drawn
    EXPECT_FALSE(bare.gradientColours());
    EXPECT_NO_FATAL_FAILURE(bare.recordDrawing());

    auto* flat = new PLRFlatButton(f.content());
    flat->setFrame(QRectF(10, 50, 60, 20));
    flat->awakeFromNib();
    flat->updateTrackingAreas();
    flat->setFrame(QRectF(10, 50, 160, 40));
    flat->updateTrackingAreas();
    ASSERT_EQ(flat->trackingAreas().size(), 1u);
    EXPECT_EQ(flat->trackingAreas().front()->rect(), QRectF(0, 0, 60, 20));
    EXPECT_EQ(flat->trackingAreas().front()->options(), 1155u);
    flat->mouseEntered(plainEvent());
    EXPECT_EQ(flat->layer()->backgroundColor(), ColorWithHex::smb_breadCrumbGrey().withAlpha(0.6));
    flat->mouseExited(plainEvent());
    EXPECT_EQ(flat->layer()->backgroundColor(), ColorWithHex::smb_breadCrumbGrey());

    auto* spaced = new PLRSpacedImageButton(f.content());
    spaced->setFrame(QRectF(200, 10, 60, 30));
    spaced->setImage(namedImage(QStringLiteral("help-button")));
    const QRectF before = spaced->imageRect();
    spaced->setBorderPadding(6);
    EXPECT_EQ(spaced->imageRect(), before.translated(6, 0));
}

TEST(HelpButton, TooltipWindowSizeLinkAndFocus)
{
    Fixture f;
    auto* help = new PLRHelpButton(f.content());
    help->setFrame(QRectF(300, 100, 20, 20));
    help->awakeFromNib();
    EXPECT_EQ(help->trackingAreas().front()->options(), 0x681u);
    help->mouseEntered(plainEvent()); // no help text: the image swaps, no window
    EXPECT_TRUE(help->mouseInside());
    EXPECT_EQ(help->tooltipWindow(), nullptr);
    EXPECT_EQ(Cursor::current(), Cursor::arrowCursor());
    help->mouseDown(plainEvent());
    EXPECT_TRUE(testing_support::recordingWorkspace().openedURLs.empty());
    help->mouseExited(plainEvent());
    // Leaving restores the arrow also without a link, whatever cursor the pointer brought in
    // (here a link's pointing hand).
    Cursor::pointingHandCursor().set();
    help->mouseEntered(plainEvent());
    help->mouseExited(plainEvent());
    EXPECT_EQ(Cursor::current(), Cursor::arrowCursor());

    // One line: as wide as the text plus 24, as high as the text plus 40.
    auto* oneLine = new PLRHelpButton(f.content());
    oneLine->setFrame(QRectF(300, 60, 20, 20));
    oneLine->setToolTip(QStringLiteral("Short help"));
    oneLine->awakeFromNib();
    EXPECT_TRUE(oneLine->toolTip().isEmpty());
    oneLine->setHelpLink(QStringLiteral("https://help.example.com/padding"));
    QWidget* focused = QApplication::focusWidget();
    oneLine->mouseEntered(plainEvent());
    EXPECT_EQ(Cursor::current(), Cursor::pointingHandCursor());
    ASSERT_NE(oneLine->tooltipWindow(), nullptr);
    const AttributedString text(QStringLiteral("Short help"), {{kFontAttributeName, systemFont(11)}});
    const double textWidth = widthForHeight(text, 13);
    const QRectF frame = oneLine->tooltipWindow()->frame();
    EXPECT_NEAR(frame.width(), textWidth + 24, 1.0);
    EXPECT_NEAR(frame.height(), heightForWidth(text, 255 - 16) + 40, 1.0);
    // The right edge 11 points right of the button's origin.
    const QPointF anchor = Window::screenRectFromQt(QRectF(oneLine->mapToGlobal(oneLine->toQt(QPointF(0, 0))), QSizeF())).topLeft();
    EXPECT_NEAR(frame.right(), anchor.x() + 11, 1.0);
    EXPECT_NEAR(frame.y(), anchor.y() + pointSize(oneLine->helpButtonImage()).height() - 15, 1.0);
    // Never takes the focus or the mouse.
    EXPECT_TRUE(oneLine->tooltipWindow()->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(oneLine->tooltipWindow()->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_TRUE(oneLine->tooltipWindow()->windowFlags().testFlag(Qt::WindowTransparentForInput));
    ASSERT_NE(oneLine->tooltipWindow()->windowHandle(), nullptr);
    EXPECT_TRUE(oneLine->tooltipWindow()->windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_EQ(QApplication::focusWidget(), focused);
    oneLine->mouseDown(plainEvent());
    ASSERT_EQ(testing_support::recordingWorkspace().openedURLs.size(), 1u);
    EXPECT_EQ(testing_support::recordingWorkspace().openedURLs.front(), QUrl(QStringLiteral("https://help.example.com/padding")));
    oneLine->mouseExited(plainEvent());
    EXPECT_EQ(Cursor::current(), Cursor::arrowCursor());
    EXPECT_FALSE(oneLine->tooltipWindow()->isVisible());

    // Wrapping text: 263 wide, the text area 16 narrower than the width.
    auto* wrapping = new PLRHelpButton(f.content());
    wrapping->setToolTip(QStringLiteral("A long help text that certainly needs more than one line to say what this "
                                        "setting does and why anyone would want to change it."));
    wrapping->awakeFromNib();
    wrapping->mouseEntered(plainEvent());
    EXPECT_NEAR(wrapping->tooltipWindow()->frame().width(), 263.0, 0.5);
    EXPECT_NEAR(wrapping->tooltipTextView()->frame().width(), 239.0, 0.5);

    // An empty text is shown (24 x 40).
    auto* empty = new PLRHelpButton(f.content());
    empty->setToolTip(QStringLiteral(""));
    empty->awakeFromNib();
    ASSERT_TRUE(empty->toolTipText());
    empty->mouseEntered(plainEvent());
    ASSERT_NE(empty->tooltipWindow(), nullptr);
    EXPECT_NEAR(empty->tooltipWindow()->frame().width(), 24.0, 0.5);
    EXPECT_NEAR(empty->tooltipWindow()->frame().height(), 40.0, 0.5);
}
