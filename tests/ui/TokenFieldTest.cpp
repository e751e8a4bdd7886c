// The keyword token field: token geometry, typing, selection, copy and paste.

#include "TestSupport.h"

#include "controls/OEXTokenField.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QCompleter>
#include <QLineEdit>
#include <QTest>

namespace {

struct Recorder : PLRTokenFieldDelegate {
    QStringList added;
    int changes = 0;
    QStringList tokenFieldShouldAddObjects(PLRTokenField*, const QStringList& tokens, qsizetype) override
    {
        added << tokens;
        return tokens;
    }
    QStringList tokenFieldCompletionsForSubstring(PLRTokenField*, const QString& substring, qsizetype) override
    {
        return substring.startsWith("tr", Qt::CaseInsensitive) ? QStringList{"Travel"} : QStringList{};
    }
    void tokenFieldDidChange(PLRTokenField*) override { ++changes; }
};

} // namespace

TEST(TokenField, TokenGeometryFollowsTheTitleWidth)
{
    EXPECT_EQ(OEXTokenField::cellSizeForTitleSize(QSizeF(52, 14)), QSizeF(87, 35));   // 50 + 2 + 35
    EXPECT_EQ(OEXTokenField::titleRectForBounds(QRectF(0, 0, 80, 35)), QRectF(17, 9, 76, 17));
    EXPECT_FALSE(OEXTokenField::tokenStrokeColorForDrawingMode(OEXTokenDrawingModeDefault).isValid());
    EXPECT_EQ(OEXTokenField::tokenStrokeColorForDrawingMode(OEXTokenDrawingModeHighlighted),
              OEXTokenField::tokenFillColorForDrawingMode(OEXTokenDrawingModeHighlighted));
    // The selection is visible.
    EXPECT_NE(OEXTokenField::tokenStrokeColorForDrawingMode(OEXTokenDrawingModeSelected),
              OEXTokenField::tokenFillColorForDrawingMode(OEXTokenDrawingModeSelected));
    OEXTokenField field;
    field.resize(400, 100);
    field.setObjectValue({"alpha", "beta"});
    ASSERT_EQ(field.tokenRects().size(), 2);
    EXPECT_EQ(field.tokenRects()[0].height(), 35.0);
}

TEST(TokenField, TypingMakesTokensAndOffersCompletions)
{
    OEXTokenField field;
    Recorder recorder;
    field.setDelegate(&recorder);
    field.resize(300, 80);
    field.show();
    QTest::keyClicks(field.focusProxy(), "travel  photo");
    EXPECT_EQ(field.objectValue(), QStringList{"travel"});   // double blanks make no empty token
    EXPECT_EQ(field.pendingText(), "photo");
    field.commitPendingText();
    EXPECT_EQ(field.objectValue(), (QStringList{"travel", "photo"}));
    EXPECT_EQ(recorder.added, (QStringList{"travel", "photo"}));
    QTest::keyClicks(field.focusProxy(), "tr");
    auto* completer = static_cast<QLineEdit*>(field.focusProxy())->completer();
    ASSERT_NE(completer, nullptr);
    EXPECT_EQ(completer->model()->rowCount(), 1);
    EXPECT_EQ(completer->model()->index(0, 0).data().toString(), "Travel");
}

TEST(TokenField, CopyJoinsSelectedTokensAndPasteSplitsAtBlanksAndLineFeeds)
{
    OEXTokenField field;
    Recorder recorder;
    field.setDelegate(&recorder);
    field.resize(400, 100);
    field.setObjectValue({"a", "b", "c"});
    field.setSelectedRange(0, 2);
    EXPECT_EQ(field.selectedString(), "a b");

    // Paste over the selection replaces exactly those tokens, in place; no add call, but the
    // owner hears of the change.
    field.pasteString("x y\nz");
    EXPECT_EQ(field.objectValue(), (QStringList{"x", "y", "z", "c"}));
    EXPECT_TRUE(recorder.added.isEmpty());
    EXPECT_EQ(recorder.changes, 1);

    // No selection: appended. Double blanks give no empty token.
    field.pasteString("m  n");
    EXPECT_EQ(field.objectValue(), (QStringList{"x", "y", "z", "c", "m", "n"}));

    // A selection past the end (text edits can leave one) is clamped, never trusted.
    field.setSelectedRange(40, 9);
    field.pasteString("q");
    EXPECT_EQ(field.objectValue().last(), "q");
    EXPECT_EQ(field.objectValue().size(), 7);
    field.pasteString("");
    EXPECT_EQ(field.objectValue().size(), 7);
}

TEST(TokenField, ClickSelectsATokenAndBackspaceRemovesIt)
{
    OEXTokenField field;
    Recorder recorder;
    field.setDelegate(&recorder);
    field.resize(400, 100);
    field.show();
    field.setObjectValue({"one", "two", "three"});
    const QRectF second = field.tokenRects().at(1);
    QTest::mouseClick(&field, Qt::LeftButton, {}, second.center().toPoint());
    EXPECT_EQ(field.selectionLocation(), 1);
    EXPECT_EQ(field.selectionLength(), 1);
    QTest::keyClick(field.focusProxy(), Qt::Key_Backspace);
    EXPECT_EQ(field.objectValue(), (QStringList{"one", "three"}));
    EXPECT_EQ(recorder.changes, 1);
    // Backspace with nothing selected selects the last token first.
    QTest::keyClick(field.focusProxy(), Qt::Key_Backspace);
    EXPECT_EQ(field.selectionLocation(), 1);
    QTest::keyClick(field.focusProxy(), Qt::Key_Backspace);
    EXPECT_EQ(field.objectValue(), QStringList{"one"});
}

TEST(TokenField, ACommaEndsATokenAndTheCaretStandsOnTheLine)
{
    QWidget window;
    window.resize(320, 120);
    auto* field = new OEXTokenField(&window);
    field->setGeometry(10, 10, 300, 60);
    field->setTokenizingCharacters(" \n");
    Recorder recorder;
    field->setDelegate(&recorder);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    auto* editor = field->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setFocus();

    // "autumn, fog" gives the keywords "autumn" and "fog", never "autumn,".
    QTest::keyClicks(editor, "autumn, fog");
    field->commitPendingText();
    EXPECT_EQ(field->objectValue(), (QStringList{"autumn", "fog"}));
    field->pasteString("mist,rain");
    EXPECT_EQ(field->objectValue(), (QStringList{"autumn", "fog", "mist", "rain"}));

    // With tokens the line is 35 points tall: the caret is 17 points, on the line's bottom.
    field->setObjectValue({"autumn"});
    QApplication::processEvents();
    const QRectF caret = field->caretRect();
    EXPECT_DOUBLE_EQ(caret.height(), 17.0);
    EXPECT_DOUBLE_EQ(caret.bottom(), field->tokenRects().first().bottom());
    QImage image(field->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    field->render(&image);
    const int x = int(caret.center().x());
    EXPECT_LT(image.pixelColor(x, int(caret.bottom()) - 3).lightness(), 100);   // the caret's foot
    EXPECT_GT(image.pixelColor(x, int(caret.top()) - 4).lightness(), 200);      // nothing above it

    // With focus the field shows the kit's focus ring along its edge.
    EXPECT_GT(image.pixelColor(150, 1).blue(), image.pixelColor(150, 1).red() + 30);
    field->clearFocus();
    image.fill(Qt::white);
    field->render(&image);
    // The border is one point wide, as a text field's: only the outermost row is border.
    EXPECT_EQ(image.pixelColor(150, 0), QColor(0xE3, 0xE2, 0xE2));
    EXPECT_NE(image.pixelColor(150, 1), QColor(0xE3, 0xE2, 0xE2));
}
