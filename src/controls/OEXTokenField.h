#pragma once

#include "controls/PLRTokenField.h"

// How a token is drawn: the field's pills with a pale fill and a teal title.
enum OEXTokenDrawingMode : quint64 {
    OEXTokenDrawingModeDefault = 0,
    OEXTokenDrawingModeHighlighted = 1,
    OEXTokenDrawingModeSelected = 2,
};

// The application's keyword field: tokens drawn as 35-point rounded pills, a click selects a
// whole token, copy puts the selected tokens on the clipboard as plain text joined by single
// blanks, and paste turns plain text into tokens (split at blanks and line feeds) at the
// selection.
class OEXTokenField : public PLRTokenField {
    Q_OBJECT
public:
    explicit OEXTokenField(QWidget* parent = nullptr);

    static constexpr double kTokenHeight = 35.0;
    // (title width + 2 + 35) by 35, rounded up.
    QSizeF tokenSizeForTitle(const QString& title) const override;
    static QSizeF cellSizeForTitleSize(const QSizeF& titleSize);
    // The title's band inside a token's body.
    static QRectF titleRectForBounds(const QRectF& bounds);

    static QColor tokenFillColorForDrawingMode(OEXTokenDrawingMode mode);
    // Null (no stroke) for the default mode.
    static QColor tokenStrokeColorForDrawingMode(OEXTokenDrawingMode mode);
    static QColor tokenTitleColorForDrawingMode(OEXTokenDrawingMode mode);
    // How the token at an index is drawn now: Selected while it is in the selection of a field
    // that has the keyboard in the active window, Default otherwise (a selection the field keeps
    // while another control has the keyboard does not show).
    OEXTokenDrawingMode tokenDrawingMode(qsizetype index) const;

    // The selected tokens as one string, joined by single blanks.
    QString selectedString() const;
    // Inserts pasted text at the selection as tokens (what Ctrl+V does with the clipboard).
    void pasteString(const QString& text);

protected:
    // The selection's look follows the window's activation.
    void changeEvent(QEvent* event) override;
    void drawToken(QPainter& painter, qsizetype index, const QRectF& frame, const QString& title, bool selected) const override;
    void copySelection() override;
    void paste() override;
};
