#include "UiTestSupport.h"

#include "controls/ColorWithHex.h"
#include "controls/KitHelpers.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QProcess>

using namespace platform::ui;

namespace {

constexpr auto kFontsChildFlag = "PELLORA_TEST_FONTS_CHILD";

} // namespace

// Not a test on its own: the child of BundledFonts.RegisteredBesideTheStartUpBeforeTheFirstFont,
// in a process whose fonts nothing has registered yet.
TEST(BundledFontsChild, FirstFontWaitsForTheBackgroundRegistration)
{
    if (qEnvironmentVariableIsEmpty(kFontsChildFlag))
        GTEST_SKIP() << "runs only as the child of RegisteredBesideTheStartUpBeforeTheFirstFont";
    ASSERT_TRUE(QFontDatabase::applicationFontFamilies(0).isEmpty());
    fonts::registerBundledFontsInBackground();
    fonts::registerBundledFontsInBackground();   // once only
    // The first font, asked for at once, finds both bundled files registered.
    const QFont font = systemFont(13, FontWeight::Bold);
    EXPECT_EQ(QFontDatabase::applicationFontFamilies(0), QStringList{fonts::family()});
    EXPECT_EQ(QFontDatabase::applicationFontFamilies(1), QStringList{fonts::family()});
    EXPECT_TRUE(QFontDatabase::applicationFontFamilies(2).isEmpty());
    EXPECT_EQ(QFontInfo(font).family(), fonts::family());
    EXPECT_TRUE(QFontInfo(font).bold());
}

TEST(BundledFonts, RegisteredBesideTheStartUpBeforeTheFirstFont)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kFontsChildFlag, "1");
    child.setProcessEnvironment(env);
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({"--gtest_filter=BundledFontsChild.FirstFontWaitsForTheBackgroundRegistration"});
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start();
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

TEST(Palette, HexStringsAreReadAsOneHexNumber)
{
    const Color blue = ColorWithHex::colorWithHexColorString(QStringLiteral("219DFF"));
    EXPECT_DOUBLE_EQ(blue.redComponent(), 0x21 / 255.0);
    EXPECT_DOUBLE_EQ(blue.greenComponent(), 0x9D / 255.0);
    EXPECT_DOUBLE_EQ(blue.blueComponent(), 0xFF / 255.0);
    EXPECT_DOUBLE_EQ(blue.alphaComponent(), 1.0);
    EXPECT_EQ(blue.colorSpace(), Color::Space::CalibratedRGB);
    EXPECT_EQ(ColorWithHex::smb_blueColour(), blue);

    const Color black = Color::calibrated(0, 0, 0, 1);
    EXPECT_EQ(ColorWithHex::colorWithHexColorString(QStringLiteral("#219DFF")), black); // "#" is not a hex digit
    EXPECT_EQ(ColorWithHex::colorWithHexColorString(QString()), black);
    EXPECT_EQ(ColorWithHex::colorWithHexColorString(QStringLiteral("")), black);
    EXPECT_EQ(ColorWithHex::colorWithHexColorString(QStringLiteral("zz")), black);
    // Top byte of AARRGGBB ignored; leading blanks and 0x accepted; reading stops at a non-digit.
    EXPECT_EQ(ColorWithHex::colorWithHexColorString(QStringLiteral("80219DFF")), blue);
    EXPECT_EQ(ColorWithHex::colorWithHexColorString(QStringLiteral("  0x219DFF")), blue);
    EXPECT_EQ(ColorWithHex::colorWithHexColorString(QStringLiteral("219DFFxyz")), blue);
    // More than eight digits saturate to all ones: white.
    EXPECT_EQ(ColorWithHex::colorWithHexColorString(QStringLiteral("123456789A")), Color::calibrated(1, 1, 1, 1));
    EXPECT_EQ(ColorWithHex::colorWithHexColorString(QStringLiteral("0000219DFF")), blue); // leading zeros do not overflow
}

TEST(Palette, PackedIntegersAreDeviceColours)
{
    const Color packed = ColorWithHex::colorWithHexColor(0x219DFF, 0.5);
    const Color blue = ColorWithHex::smb_blueColour();
    EXPECT_EQ(packed.colorSpace(), Color::Space::DeviceRGB);
    EXPECT_DOUBLE_EQ(packed.redComponent(), blue.redComponent());
    EXPECT_DOUBLE_EQ(packed.greenComponent(), blue.greenComponent());
    EXPECT_DOUBLE_EQ(packed.blueComponent(), blue.blueComponent());
    EXPECT_DOUBLE_EQ(packed.alphaComponent(), 0.5);
    const Color negative = ColorWithHex::colorWithHexColor(qint32(0xFF219DFF), 1.0); // only the low 24 bits
    EXPECT_DOUBLE_EQ(negative.redComponent(), blue.redComponent());
    EXPECT_DOUBLE_EQ(negative.blueComponent(), 1.0);
}

TEST(Palette, LighterAndDarkerScaleBrightnessOnly)
{
    const Color base = Color::fromHSB(0.6, 0.5, 0.9, 0.7);
    double h0, s0, b0, a0, h, s, b, a;
    base.getHSB(&h0, &s0, &b0, &a0);
    ColorWithHex::lighterColor(base).getHSB(&h, &s, &b, &a);
    EXPECT_DOUBLE_EQ(b, 1.0); // 0.9 * 1.3 is clamped
    EXPECT_NEAR(h, h0, 1e-9);
    EXPECT_NEAR(s, s0, 1e-9);
    EXPECT_DOUBLE_EQ(a, 0.7);
    ColorWithHex::darkerColor(Color::fromHSB(0.6, 0.5, 1.0)).getHSB(&h, &s, &b, &a);
    EXPECT_NEAR(b, 0.8, 1e-12);
    EXPECT_NEAR(h, 0.6, 1e-9);
}

TEST(Palette, TableValuesAndNamedColours)
{
    EXPECT_EQ(ColorWithHex::smb_snapColour(), ColorWithHex::smb_indicatorDarkYellowColour());
    EXPECT_EQ(ColorWithHex::smb_errorRed(), ColorWithHex::colorWithHexColorString(QStringLiteral("FF3B30")));
    EXPECT_EQ(ColorWithHex::smb_homeBackground(), ColorWithHex::colorWithHexColorString(QStringLiteral("E5E5E5")));
    EXPECT_EQ(ColorWithHex::gradientBlueEndColour(), ColorWithHex::colorWithHexColorString(QStringLiteral("087FFF")));
    // Every entry of the palette, with its value.
    const std::pair<Color (*)(), unsigned> palette[] = {
        {ColorWithHex::smb_blueColour, 0x219DFF}, {ColorWithHex::smb_lightBlueColour, 0xE7F4FF},
        {ColorWithHex::smb_homeBackground, 0xE5E5E5}, {ColorWithHex::smb_layoutBackground, 0xF4F4F4},
        {ColorWithHex::smb_inspectorHeaderGrey, 0xFFFFFF}, {ColorWithHex::smb_inspectorDetailGrey, 0xFAFAFA},
        {ColorWithHex::smb_controlGreyBorder, 0xE3E2E2}, {ColorWithHex::smb_breadCrumbGrey, 0xEDEDED},
        {ColorWithHex::smb_inspectorShadowLine, 0xC8C8C8}, {ColorWithHex::smb_controlGrey, 0xF7F8F9},
        {ColorWithHex::smb_errorRed, 0xFF3B30}, {ColorWithHex::smb_grabBorderColour, 0x72C8F9},
        {ColorWithHex::smb_grabFillColour, 0xCBE5F3}, {ColorWithHex::smb_quoteTextColour, 0x6B7175},
        {ColorWithHex::smb_captionTextColour, 0x9FA6AA}, {ColorWithHex::smb_snapColour, 0xD8E244},
        {ColorWithHex::smb_indicatorGreenColour, 0x2AC940}, {ColorWithHex::smb_indicatorYellowColour, 0xFFBE2F},
        {ColorWithHex::smb_indicatorRedColour, 0xFF5F58}, {ColorWithHex::smb_indicatorDarkGreenColour, 0x2BAC2D},
        {ColorWithHex::smb_indicatorDarkYellowColour, 0xD8E244}, {ColorWithHex::smb_indicatorDarkRedColour, 0xE0A028},
        {ColorWithHex::gradientBlueStartColour, 0x6AB3FA}, {ColorWithHex::gradientBlueEndColour, 0x087FFF},
        {ColorWithHex::gradientGreyStartColour, 0xFEFEFE}, {ColorWithHex::gradientGreyEndColour, 0xF1F1F1}};
    for (const auto& [entry, hex] : palette) {
        EXPECT_TRUE(ui_test::isHex(entry(), hex));
        EXPECT_EQ(entry().colorSpace(), Color::Space::CalibratedRGB);
    }
    for (const char* name : {"plrControlBorderColor", "plrControlBorderColorDarker", "plrControlBgColor",
                             "plrBoxButtonHighlightColor", "plrTextControlDisabled", "plrTextColor", "plrTextColorInactive",
                             "plrTextCheckboxInactive", "plrTextLinkColor", "plrTextLinkColorActive", "plrTooltipColor",
                             "plrRadioButtonActive", "plrRadioButtonInactive", "plrRadioButtonHighlight",
                             "plrSliderInactiveBg", "plrSliderActiveBg", "plrPreviewImageBgColor", "plrProgressBarColor",
                             "plrNumberPillColor", "plrPostTileBorderColor", "plrPostTileBorderColorSelected",
                             "plrCycleLayoutBorderColor"})
        EXPECT_TRUE(hasNamedColor(QString::fromLatin1(name))) << name;
    EXPECT_FALSE(namedColor(QStringLiteral("noSuchColour")).isVisible());
}

TEST(Cursors, DiagonalCursorsAreMadeOnceFromTheirImages)
{
    const Cursor& left = PLRCustomCursor::resizeLeftDiagonalCursor();
    EXPECT_EQ(&left, &PLRCustomCursor::resizeLeftDiagonalCursor());
    EXPECT_TRUE(left.isCustom());
    EXPECT_EQ(left.image().deviceIndependentSize(), QSizeF(16, 16));
    EXPECT_EQ(left.hotSpot(), QPointF(8, 8));
    const Cursor& right = PLRCustomCursor::resizeRightDiagonalCursor();
    EXPECT_TRUE(right.isCustom()); // the ".tiff" name finds the image
    EXPECT_FALSE(left == right);
}

TEST(SortViews, IdentifiedViewsFollowTheirRanksAndOthersKeepTheirPlaces)
{
    View parent;
    auto make = [&parent](const QString& id) {
        auto* view = new View(&parent);
        view->setIdentifier(id);
        return view;
    };
    View* close = make(QStringLiteral("close"));
    View* link = make(QStringLiteral("link"));
    View* anonymous = make(QString());
    View* secondary = make(QStringLiteral("secondary"));
    View* unlisted = make(QStringLiteral("unlisted"));
    View* primary = make(QStringLiteral("primary"));
    const QVariantMap ranks{{QStringLiteral("close"), 2}, {QStringLiteral("link"), 1000},
                            {QStringLiteral("secondary"), 1}, {QStringLiteral("primary"), 1}};
    sortSubviewsUsingViewTags(&parent, ranks);
    const QList<QWidget*> expected{unlisted, secondary, anonymous, primary, close, link};
    EXPECT_EQ(parent.subviews(), expected);
    sortSubviewsUsingViewTags(&parent, ranks); // stable: sorting again changes nothing
    EXPECT_EQ(parent.subviews(), expected);
}

TEST(TextMeasure, EmptyTrailingBreakAndLimits)
{
    const QVariantMap attributes{{kFontAttributeName, systemFont(13)}};
    EXPECT_EQ(measureAttributedString(AttributedString(), 100, 100), QSizeF(0, 0));
    const AttributedString line(QStringLiteral("Hello world"), attributes);
    const AttributedString withBreak(QStringLiteral("Hello world\n"), attributes);
    const double lineHeight = heightForWidth(line, 1000);
    EXPECT_GT(lineHeight, 10.0);
    EXPECT_DOUBLE_EQ(heightForWidth(withBreak, 1000), lineHeight);
    const double width = widthForHeight(line, kTextContainerNoLimit);
    EXPECT_GT(width, 40.0);
    // A narrow box wraps into more lines; the bundled font makes the numbers the same everywhere.
    EXPECT_NEAR(heightForWidth(line, width / 2), 2 * lineHeight, 0.5);
    const AttributedString kerned(QStringLiteral("Hello world"), {{kFontAttributeName, systemFont(13)}, {kKernAttributeName, 2.0}});
    EXPECT_NEAR(widthForHeight(kerned, kTextContainerNoLimit), width + 2.0 * 11, 2.5);
}

TEST(TextMeasure, KeptLayoutsAreTheSameStringsInTheSameBoxesOnly)
{
    const AttributedString line(QStringLiteral("Kept layout"), {{kFontAttributeName, systemFont(13)}});
    const TextLayout& first = TextLayout::cached(line, QSizeF(200, 100));
    const QRectF used = first.usedRect();
    EXPECT_EQ(used, TextLayout(line, QSizeF(200, 100)).usedRect());
    // The same text and attributes in the same box: the layout made before.
    EXPECT_EQ(&TextLayout::cached(AttributedString(QStringLiteral("Kept layout"), {{kFontAttributeName, systemFont(13)}}),
                                  QSizeF(200, 100)),
              &first);
    // Another box, or the same text with other attributes, is laid out for itself.
    const double narrow = TextLayout::cached(line, QSizeF(40, 100)).usedRect().height();
    EXPECT_GT(narrow, used.height());
    const AttributedString larger(QStringLiteral("Kept layout"), {{kFontAttributeName, systemFont(26)}});
    EXPECT_GT(TextLayout::cached(larger, QSizeF(200, 100)).usedRect().width(), used.width() * 1.5);
    EXPECT_EQ(TextLayout::cached(line, QSizeF(200, 100)).usedRect(), used);
}

TEST(TextSpacing, KerningAndCentredLineSpacingCoverTheWholeText)
{
    TextField field;
    field.setStringValue(QStringLiteral("Two\nlines"));
    addTextSpacing(&field, 1.5, 4.0);
    const AttributedString value = field.attributedStringValue();
    TextRange range;
    EXPECT_DOUBLE_EQ(value.attribute(kKernAttributeName, 0, &range).toDouble(), 1.5);
    EXPECT_EQ(range, value.wholeRange());
    const auto style = value.attribute(kParagraphStyleAttributeName, 5).value<ParagraphStyle>();
    EXPECT_EQ(style.alignment, TextAlignment::Center);
    EXPECT_DOUBLE_EQ(style.lineSpacing, 4.0);
}
