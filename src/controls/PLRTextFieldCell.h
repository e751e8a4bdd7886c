#pragma once

#include "platform-ui/Controls.h"

// A text field with the forms' flat look: the text inset from the left and right and centred
// vertically (drawn, edited and selected in the same rectangle), and a 2-point border.
class PLRTextFieldCell : public platform::ui::TextField {
    Q_OBJECT
public:
    explicit PLRTextFieldCell(QWidget* parent = nullptr);

    platform::ui::Color borderColor() const { return m_borderColor; }

    // The drawing rectangle for the bounds: 3 points in on the left, 2 on the right.
    static QRectF drawingRectForBounds(const QRectF& bounds);
    // The text rectangle of the frame (title rectangle T, natural height S):
    // (T.x, T.y + (T.height - S) / 2 - 1, T.width, S + 1), in y-down coordinates.
    QRectF centeredTextRectForBounds(const QRectF& frame) const;
    static QRectF centeredTextRect(const QRectF& titleRect, double naturalHeight);

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeEditor();
    platform::ui::Color m_borderColor;
};
