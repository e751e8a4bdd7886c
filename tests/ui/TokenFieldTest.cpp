// The keyword token field: token geometry, typing, selection, copy and paste.

#include "TestSupport.h"

#include "controls/OEXTokenField.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QCompleter>
#include <QLineEdit>
#include <QMimeData>
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
    // Fill EEF9FA and title 67C0C6 in every mode; a highlighted or selected token is outlined in
    // its fill colour.
    for (const OEXTokenDrawingMode mode : {OEXTokenDrawingModeDefault, OEXTokenDrawingModeHighlighted, OEXTokenDrawingModeSelected}) {
        EXPECT_EQ(OEXTokenField::tokenFillColorForDrawingMode(mode), QColor(0xEE, 0xF9, 0xFA));
        EXPECT_EQ(OEXTokenField::tokenTitleColorForDrawingMode(mode), QColor(0x67, 0xC0, 0xC6));
        if (mode != OEXTokenDrawingModeDefault) {
            EXPECT_EQ(OEXTokenField::tokenStrokeColorForDrawingMode(mode), QColor(0xEE, 0xF9, 0xFA));
        }
    }
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
    // The middle and right buttons choose nothing.
    for (Qt::MouseButton button : {Qt::MiddleButton, Qt::RightButton})
        QTest::mouseClick(&field, button, {}, second.center().toPoint());
    EXPECT_EQ(field.selectionLength(), 0);
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

namespace {

struct FocusedField {
    QWidget window;
    OEXTokenField* field;
    QLineEdit* editor;
    FocusedField()
    {
        window.resize(420, 120);
        field = new OEXTokenField(&window);
        field->setGeometry(10, 10, 400, 60);
        auto* other = new QLineEdit(&window);
        other->setGeometry(10, 80, 100, 24);
        window.show();
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        editor = field->findChild<QLineEdit*>();
        editor->setFocus();
        field->setObjectValue({"alpha", "beta", "gamma"});
        QApplication::processEvents();
    }
    QImage render() const
    {
        QImage image(field->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        field->render(&image);
        return image;
    }
};

} // namespace

TEST(TokenField, CopyWritesTheSelectedTokensToTheClipboardAsPlainTextOnly)
{
    FocusedField f;
    ASSERT_NE(f.editor, nullptr);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    f.field->setSelectedRange(0, 2);
    QTest::keyClick(f.editor, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("alpha beta"));
    ASSERT_NE(QApplication::clipboard()->mimeData(), nullptr);
    EXPECT_EQ(QApplication::clipboard()->mimeData()->formats(), QStringList{QStringLiteral("text/plain")});
    // Cut copies and removes; nothing selected copies nothing.
    f.field->setSelectedRange(2, 1);
    QTest::keyClick(f.editor, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("gamma"));
    EXPECT_EQ(f.field->objectValue(), (QStringList{"alpha", "beta"}));
    QTest::keyClick(f.editor, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("gamma"));
}

TEST(TokenField, TokensAreDrawnInTheirColoursAndASelectionShowsOnlyWithTheKeyboard)
{
    FocusedField f;
    const QRectF first = f.field->tokenRects().at(0);
    const QRectF body = first.adjusted(2, 0, -2, 0);
    const QPoint inside(int(body.left() + 6), int(body.center().y()));
    const QPoint edge(int(body.center().x()), int(body.top()) + 1);   // inside the stroke's visible half
    const QPoint margin(int(first.left()), int(first.center().y()));  // left of the pill
    const QColor fill(0xEE, 0xF9, 0xFA), title(0x67, 0xC0, 0xC6);

    // Unselected: the pale fill to the edge, and the title in teal (never grey or black).
    QImage image = f.render();
    const QColor background = image.pixelColor(margin);
    EXPECT_NE(background, f.field->palette().color(QPalette::Active, QPalette::Highlight));
    EXPECT_EQ(image.pixelColor(inside), fill);
    EXPECT_EQ(image.pixelColor(edge), fill);
    const QRect titleBand = OEXTokenField::titleRectForBounds(body).toAlignedRect();
    QColor darkest = fill;
    for (int x = titleBand.left(); x <= titleBand.right(); ++x)
        for (int y = titleBand.top(); y <= titleBand.bottom(); ++y)
            if (image.pixelColor(x, y).lightness() < darkest.lightness())
                darkest = image.pixelColor(x, y);
    EXPECT_LT(darkest.lightness(), fill.lightness() - 40) << "a title is drawn";
    EXPECT_GT(darkest.green(), darkest.red() + 40) << darkest.name().toStdString();
    EXPECT_GT(darkest.blue(), darkest.red() + 40) << darkest.name().toStdString();
    EXPECT_GE(darkest.red(), title.red() - 8) << "no darker than the title colour: " << darkest.name().toStdString();

    // Selected in the field that has the keyboard: the selection shows around the pill, whose
    // outline keeps the fill colour.
    f.field->setSelectedRange(0, 1);
    EXPECT_EQ(f.field->tokenDrawingMode(0), OEXTokenDrawingModeSelected);
    EXPECT_EQ(f.field->tokenDrawingMode(1), OEXTokenDrawingModeDefault);
    image = f.render();
    EXPECT_EQ(image.pixelColor(edge), fill);
    EXPECT_EQ(image.pixelColor(margin), f.field->palette().color(QPalette::Active, QPalette::Highlight));

    // The keyboard moves to another control: the token keeps its selection but is drawn as any
    // other token.
    f.window.findChildren<QLineEdit*>().last()->setFocus();
    ASSERT_FALSE(f.field->hasFocus());
    EXPECT_EQ(f.field->selectionLength(), 1);
    EXPECT_EQ(f.field->tokenDrawingMode(0), OEXTokenDrawingModeDefault);
    image = f.render();
    EXPECT_EQ(image.pixelColor(edge), fill);
    EXPECT_EQ(image.pixelColor(margin), background);
}

TEST(TokenField, ASelectedTokenShowsItsSelectionOnlyWhileItsWindowIsActive)
{
    // The field keeps the keyboard of its window while another window is active: its selected
    // token is drawn as any other then, and selected again when its window is active again.
    FocusedField f;
    f.field->setSelectedRange(0, 1);
    const QRectF first = f.field->tokenRects().at(0);
    const QPoint margin(int(first.left()), int(first.center().y()));   // left of the pill
    const QColor highlight = f.field->palette().color(QPalette::Active, QPalette::Highlight);
    ASSERT_EQ(f.field->tokenDrawingMode(0), OEXTokenDrawingModeSelected);
    ASSERT_EQ(f.render().pixelColor(margin), highlight);

    QWidget other;
    other.resize(120, 60);
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::processEvents();
    ASSERT_FALSE(f.window.isActiveWindow());
    EXPECT_EQ(f.window.focusWidget(), f.editor);   // the keyboard stays with it in its window
    EXPECT_EQ(f.field->selectionLength(), 1);
    EXPECT_EQ(f.field->tokenDrawingMode(0), OEXTokenDrawingModeDefault);
    EXPECT_NE(f.render().pixelColor(margin), highlight);

    QApplication::setActiveWindow(&f.window);
    QApplication::processEvents();
    EXPECT_EQ(f.field->tokenDrawingMode(0), OEXTokenDrawingModeSelected);
    EXPECT_EQ(f.render().pixelColor(margin), highlight);
}
