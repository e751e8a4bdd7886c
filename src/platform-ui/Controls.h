#pragma once

#include "platform-ui/AttributedString.h"
#include "platform-ui/View.h"

#include <QImage>
#include <QMarginsF>
#include <QPointer>

#include <functional>
#include <optional>

class QLineEdit;

namespace platform::ui {

// A view that sends an action to a target when used.
class Control : public View {
    Q_OBJECT
public:
    using Action = std::function<void(Control* sender)>;
    explicit Control(QWidget* parent = nullptr);

    // The action runs only while the target (when one is given) is alive.
    void setTarget(QObject* target) { m_target = target; m_hasTarget = target != nullptr; }
    QObject* target() const { return m_target; }
    void setAction(Action action) { m_action = std::move(action); }
    bool hasAction() const { return bool(m_action); }
    // Sends the action with this control as sender; false when there is none to send.
    bool sendAction();
    // Acts as a click would: sends the action when enabled.
    virtual void performClick();
    // A control that takes keyboard focus shows a focus ring while it has it.
    bool drawsFocusRing() const override { return focusPolicy() != Qt::NoFocus; }
    // A key that triggers the control in its window ("\x1b" is Escape).
    QString keyEquivalent() const { return m_keyEquivalent; }
    void setKeyEquivalent(const QString& key) { m_keyEquivalent = key; }

    // Space, Return and Enter (no modifiers, not held down) are the keys that click a control
    // reached by Tab (and any other view that clicks by keys): true when the event is one of them.
    static bool isActivationKey(const QKeyEvent* event);

signals:
    void actionSent();

protected:
    // Tab reaches the control, and the activation keys click it (performClick()); other keys go on.
    void takeTabAndActivationKeys();
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_clickedByKeys = false;
    QPointer<QObject> m_target;
    bool m_hasTarget = false;
    Action m_action;
    QString m_keyEquivalent;
};

enum class ImageScaling { ProportionallyDown = 0, AxesIndependently = 1, None = 2, ProportionallyUpOrDown = 3 };

// An image: a bitmap, or a handler that draws it into a destination rectangle on demand.
struct Image {
    QImage bitmap;
    QSizeF size;   // points; for bitmaps their point size
    std::function<bool(GraphicsContext& context, const QRectF& destination)> drawingHandler;
    bool isNull() const { return bitmap.isNull() && !drawingHandler; }
    // Draws the image into the destination (the handler with the context's state kept).
    void draw(GraphicsContext& context, const QRectF& destination) const;
    static Image fromBitmap(const QImage& bitmap) { return {bitmap, bitmap.deviceIndependentSize(), {}}; }
};

// The rectangle an image of the size takes in the bounds under the scaling (centred).
QRectF imageRectForScaling(const QSizeF& imageSize, const QRectF& bounds, ImageScaling scaling);

// A push button: title and/or image, bordered or not.
class Button : public Control {
    Q_OBJECT
public:
    enum BezelStyle { BezelRounded = 1, BezelRegularSquare = 2, BezelShadowlessSquare = 6, BezelTexturedSquare = 8, BezelInline = 15 };
    explicit Button(QWidget* parent = nullptr);
    static Button* withImage(const QImage& image, QObject* target, Action action, QWidget* parent = nullptr);
    static Button* withTitle(const QString& title, QObject* target, Action action, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    // A new title may need another size: the layout is told.
    void setTitle(const QString& title) { m_title = title; updateGeometry(); update(); }
    QImage image() const { return m_image; }
    void setImage(const QImage& image) { m_image = image; update(); }
    bool isBordered() const { return m_bordered; }
    void setBordered(bool bordered) { m_bordered = bordered; update(); }
    int bezelStyle() const { return m_bezelStyle; }
    void setBezelStyle(int style) { m_bezelStyle = style; update(); }
    ImageScaling imageScaling() const { return m_imageScaling; }
    void setImageScaling(ImageScaling scaling) { m_imageScaling = scaling; update(); }
    bool showsFocusRing() const { return m_focusRing; }
    void setShowsFocusRing(bool shows) { m_focusRing = shows; }
    bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted) { m_highlighted = highlighted; update(); }

    // The button's state (mixed -1, off 0, on 1) and what a click does to it.
    enum StateValue { StateMixed = -1, StateOff = 0, StateOn = 1 };
    enum class ButtonType { MomentaryPush, Switch, Radio };
    int state() const { return m_state; }
    void setState(int state) { m_state = state; update(); }
    ButtonType buttonType() const { return m_buttonType; }
    void setButtonType(ButtonType type) { m_buttonType = type; }
    // A switch flips its state, a radio button turns on (and the other radio buttons of its
    // superview off); then the action goes.
    void performClick() override;

    // The title's font and alignment, and a title with attributes of its own (drawn instead of the
    // plain title when set).
    QFont font() const { return m_font; }
    void setFont(const QFont& font) { m_font = font; update(); }
    TextAlignment alignment() const { return m_alignment; }
    void setAlignment(TextAlignment alignment) { m_alignment = alignment; update(); }
    const std::optional<AttributedString>& attributedTitle() const { return m_attributedTitle; }
    void setAttributedTitle(const AttributedString& title) { m_attributedTitle = title; update(); }
    // Back to the plain title in the button's own font and colour.
    void resetAttributedTitle() { m_attributedTitle.reset(); update(); }

    QSize sizeHint() const override;
    void drawRect(GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    void mouseCancelled() override;

protected:
    // Where the image is drawn in the bounds (subclasses may move it).
    virtual QRectF imageRectInBounds() const;
    // Tab reaches the button; Space, Return and Enter click it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void turnRadioOn();
    QString m_title;
    QImage m_image;
    bool m_bordered = true;
    int m_bezelStyle = BezelRounded;
    ImageScaling m_imageScaling = ImageScaling::ProportionallyDown;
    bool m_focusRing = true;
    bool m_highlighted = false;
    int m_state = StateOff;
    ButtonType m_buttonType = ButtonType::MomentaryPush;
    QFont m_font;
    TextAlignment m_alignment = TextAlignment::Center;
    std::optional<AttributedString> m_attributedTitle;
};

// A text field: a label drawn by us, or (editable) a line editor inside.
class TextField : public Control {
    Q_OBJECT
public:
    explicit TextField(QWidget* parent = nullptr);
    ~TextField() override;
    static TextField* labelWithString(const QString& string, QWidget* parent = nullptr);

    QString stringValue() const;
    void setStringValue(const QString& value);
    AttributedString attributedStringValue() const;
    void setAttributedStringValue(const AttributedString& value);
    Color textColor() const { return m_textColor; }
    void setTextColor(const Color& color);
    QFont font() const { return m_font; }
    void setFont(const QFont& font);
    TextAlignment alignment() const { return m_alignment; }
    void setAlignment(TextAlignment alignment);
    bool isEditable() const { return m_editor != nullptr; }
    void setEditable(bool editable);
    void setSecure(bool secure);
    bool drawsBackground() const { return m_drawsBackground; }
    void setDrawsBackground(bool draws) { m_drawsBackground = draws; update(); }
    Color backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const Color& color) { m_backgroundColor = color; update(); }
    QString placeholderString() const { return m_placeholder; }
    void setPlaceholderString(const QString& placeholder);
    QLineEdit* editor() const { return m_editor; }
    // The horizontal inset of the text from the field's edges.
    static constexpr double kTextInset = 2.0;

    QSize sizeHint() const override;
    void drawRect(GraphicsContext& context, const QRectF& dirtyRect) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The attributed value with the field's font, colour and alignment filled in where unset.
    AttributedString displayedString() const;

private:
    void syncEditor();
    void textChanged();
    AttributedString m_value;
    Color m_textColor = Color::black();
    QFont m_font;
    TextAlignment m_alignment = TextAlignment::Natural;
    QLineEdit* m_editor = nullptr;
    bool m_secure = false;
    bool m_drawsBackground = false;
    Color m_backgroundColor = Color::white();
    QString m_placeholder;
};

// A flipped view that shows an attributed text.
class TextView : public View {
    Q_OBJECT
public:
    explicit TextView(QWidget* parent = nullptr);
    bool isFlipped() const override { return true; }
    const AttributedString& textStorage() const { return m_text; }
    void setTextStorage(const AttributedString& text) { m_text = text; update(); }
    TextAlignment alignment() const { return m_alignment; }
    void setAlignment(TextAlignment alignment) { m_alignment = alignment; update(); }
    bool drawsBackground() const { return m_drawsBackground; }
    void setDrawsBackground(bool draws) { m_drawsBackground = draws; update(); }
    Color backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const Color& color) { m_backgroundColor = color; update(); }
    bool isEditable() const { return m_editable; }
    void setEditable(bool editable) { m_editable = editable; }
    bool isSelectable() const { return m_selectable; }
    void setSelectable(bool selectable) { m_selectable = selectable; }
    // The index of the character under a point of the view, or -1 when it is not over text.
    int characterIndexForPoint(const QPointF& point) const;
    // The blank kept at each end of a line of text.
    static constexpr double kLineFragmentPadding = 5.0;
    void drawRect(GraphicsContext& context, const QRectF& dirtyRect) override;
protected:
    AttributedString displayedString() const;
private:
    AttributedString m_text;
    TextAlignment m_alignment = TextAlignment::Natural;
    bool m_drawsBackground = true;
    Color m_backgroundColor = Color::white();
    bool m_editable = true;
    bool m_selectable = true;
};

// Shows an image scaled into its bounds.
class ImageView : public Control {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);
    const Image& image() const { return m_image; }
    virtual void setImage(const Image& image) { m_image = image; update(); }
    void setImage(const QImage& bitmap) { setImage(Image::fromBitmap(bitmap)); }
    ImageScaling imageScaling() const { return m_scaling; }
    virtual void setImageScaling(ImageScaling scaling) { m_scaling = scaling; update(); }
    void drawRect(GraphicsContext& context, const QRectF& dirtyRect) override;
protected:
    Image m_image;
    ImageScaling m_scaling = ImageScaling::ProportionallyDown;
};

// A box drawn by us: fill, border, corner radius.
class Box : public View {
    Q_OBJECT
public:
    explicit Box(QWidget* parent = nullptr);
    Color borderColor() const { return m_borderColor; }
    void setBorderColor(const Color& color) { m_borderColor = color; update(); }
    Color fillColor() const { return m_fillColor; }
    void setFillColor(const Color& color) { m_fillColor = color; update(); }
    double borderWidth() const { return m_borderWidth; }
    void setBorderWidth(double width) { m_borderWidth = width; update(); }
    double cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(double radius) { m_cornerRadius = radius; update(); }
    void drawRect(GraphicsContext& context, const QRectF& dirtyRect) override;
private:
    Color m_borderColor = Color::black(0.2);
    Color m_fillColor = Color::clear();
    double m_borderWidth = 1.0;
    double m_cornerRadius = 0.0;
};

// Arranges its views in a row or a column, equal sizes, with spacing.
class StackView : public View {
    Q_OBJECT
public:
    enum class Orientation { Horizontal, Vertical };
    explicit StackView(QWidget* parent = nullptr);
    Orientation orientation() const { return m_orientation; }
    void setOrientation(Orientation orientation) { m_orientation = orientation; layoutSubviews(); }
    double spacing() const { return m_spacing; }
    void setSpacing(double spacing) { m_spacing = spacing; layoutSubviews(); }
    // Room between the stack's edges and its arranged views (none by default).
    QMarginsF edgeInsets() const { return m_edgeInsets; }
    void setEdgeInsets(const QMarginsF& insets) { m_edgeInsets = insets; layoutSubviews(); }
    void addArrangedSubview(QWidget* view);
    void removeArrangedSubview(QWidget* view);
    const QList<QPointer<QWidget>>& arrangedSubviews() const { return m_arranged; }
    int indexOfArrangedSubview(const QWidget* view) const;
    QWidget* arrangedSubviewAt(int index) const;
protected:
    void layoutSubviews() override;
private:
    Orientation m_orientation = Orientation::Horizontal;
    double m_spacing = 8.0;
    QMarginsF m_edgeInsets;
    QList<QPointer<QWidget>> m_arranged;
};

} // namespace platform::ui
