#include "platform-ui/Controls.h"

#include <QKeyEvent>

#include "platform-ui/Fonts.h"

#include <QLineEdit>
#include <QResizeEvent>

#include <cmath>

namespace platform::ui {

// ---------------------------------------------------------------- control

Control::Control(QWidget* parent) : View(parent) {}

bool Control::sendAction()
{
    if (!m_action || (m_hasTarget && !m_target))
        return false;
    QPointer<Control> self(this);
    m_action(this);
    if (self)
        emit actionSent();
    return true;
}

void Control::performClick()
{
    if (isEnabled())
        sendAction();
}

bool Control::isActivationKey(const QKeyEvent* event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    return plain && !event->isAutoRepeat()
        && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter);
}

void Control::takeTabAndActivationKeys()
{
    setFocusPolicy(Qt::TabFocus);
    m_clickedByKeys = true;
}

void Control::keyPressEvent(QKeyEvent* event)
{
    if (m_clickedByKeys && isActivationKey(event)) {
        event->accept();
        performClick();
        return;
    }
    View::keyPressEvent(event);
}

// ---------------------------------------------------------------- images

QRectF imageRectForScaling(const QSizeF& imageSize, const QRectF& bounds, ImageScaling scaling)
{
    if (imageSize.isEmpty())
        return {};
    QSizeF size = imageSize;
    switch (scaling) {
    case ImageScaling::AxesIndependently:
        return bounds;
    case ImageScaling::None:
        break;
    case ImageScaling::ProportionallyDown:
        if (size.width() > bounds.width() || size.height() > bounds.height())
            size.scale(bounds.size(), Qt::KeepAspectRatio);
        break;
    case ImageScaling::ProportionallyUpOrDown:
        size.scale(bounds.size(), Qt::KeepAspectRatio);
        break;
    }
    return QRectF(bounds.center().x() - size.width() / 2, bounds.center().y() - size.height() / 2, size.width(), size.height());
}

// ---------------------------------------------------------------- button

Button::Button(QWidget* parent) : Control(parent), m_font(systemFont(13))
{
    // Reached by Tab (a click does not take the focus away from a text being typed).
    setFocusPolicy(Qt::TabFocus);
}

void Button::keyPressEvent(QKeyEvent* event)
{
    if (isActivationKey(event)) {
        event->accept();
        performClick();
        return;
    }
    Control::keyPressEvent(event);
}

Button* Button::withImage(const QImage& image, QObject* target, Action action, QWidget* parent)
{
    auto* button = new Button(parent);
    button->setImage(image);
    button->setImageScaling(ImageScaling::ProportionallyDown);
    button->setTarget(target);
    button->setAction(std::move(action));
    button->setFrameSize(image.isNull() ? QSizeF(20, 20) : image.deviceIndependentSize());
    return button;
}

Button* Button::withTitle(const QString& title, QObject* target, Action action, QWidget* parent)
{
    auto* button = new Button(parent);
    button->setTitle(title);
    button->setTarget(target);
    button->setAction(std::move(action));
    button->resize(button->sizeHint());
    return button;
}

QSize Button::sizeHint() const
{
    if (!m_image.isNull() && m_title.isEmpty())
        return m_image.deviceIndependentSize().toSize();
    const TextLayout& layout = TextLayout::cached(AttributedString(m_title, {{kFontAttributeName, systemFont(13)}}), QSizeF(1e9, 1e9));
    return QSize(int(std::ceil(layout.usedRect().width())) + 28, 22);
}

void Button::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    if (m_bordered) {
        const QPainterPath shape = roundedRectPath(b.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        context.fillPath(shape, m_highlighted ? Color(0.85, 0.85, 0.85) : Color::white());
        context.strokePath(shape, Color::black(0.2), 1.0);
    }
    if (!m_image.isNull()) {
        const QRectF rect = imageRectInBounds();
        context.drawImage(m_image, rect, {}, QPainter::CompositionMode_SourceOver, m_highlighted && !m_bordered ? 0.6 : 1.0);
    }
    if (m_attributedTitle || !m_title.isEmpty()) {
        const AttributedString title = m_attributedTitle
            ? *m_attributedTitle
            : AttributedString(m_title, {{kFontAttributeName, m_font},
                                         {kForegroundColorAttributeName, QVariant::fromValue(isEnabled() ? Color::black(0.85) : Color::black(0.3))},
                                         {kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{m_alignment})}});
        const double h = TextLayout::cached(title, QSizeF(b.width(), 1e9)).usedRect().height();
        context.drawAttributedString(title, QRectF(0, (b.height() - h) / 2, b.width(), h));
    }
}

void Button::turnRadioOn()
{
    m_state = StateOn;
    // Radio buttons of one superview form a group: one on turns the others off.
    if (QWidget* parent = parentWidget())
        for (QObject* child : parent->children())
            if (auto* sibling = qobject_cast<Button*>(child);
                sibling && sibling != this && sibling->m_buttonType == ButtonType::Radio && sibling->m_state != StateOff)
                sibling->setState(StateOff);
}

QRectF Button::imageRectInBounds() const
{
    return imageRectForScaling(m_image.deviceIndependentSize(), bounds(), m_imageScaling);
}

void Button::performClick()
{
    if (!isEnabled())
        return;
    if (m_buttonType == ButtonType::Switch)
        m_state = m_state == StateOn ? StateOff : StateOn;
    else if (m_buttonType == ButtonType::Radio)
        turnRadioOn();
    update();
    sendAction();
}

void Button::mouseDown(const MouseEvent&)
{
    m_highlighted = true;
    update();
}

void Button::mouseDragged(const MouseEvent& event)
{
    const bool inside = bounds().contains(event.locationIn(this));
    if (inside != m_highlighted) {
        m_highlighted = inside;
        update();
    }
}

void Button::mouseUp(const MouseEvent& event)
{
    m_highlighted = false;
    update();
    if (bounds().contains(event.locationIn(this)))
        performClick();
}

void Button::mouseCancelled()
{
    m_highlighted = false;
    update();
}

// ---------------------------------------------------------------- text field

TextField::TextField(QWidget* parent) : Control(parent), m_font(systemFont(13)) {}

TextField::~TextField()
{
    // A field going away while its editor has focus: the editor's last focus-out must not reach
    // the field's owners (they would read a field that is half gone).
    if (m_editor)
        m_editor->blockSignals(true);
}

TextField* TextField::labelWithString(const QString& string, QWidget* parent)
{
    auto* field = new TextField(parent);
    field->setStringValue(string);
    field->resize(field->sizeHint());
    return field;
}

QString TextField::stringValue() const { return m_editor ? m_editor->text() : m_value.string(); }

void TextField::setStringValue(const QString& value)
{
    // The same text again changes nothing (labels are refreshed often).
    AttributedString plain(value);
    if (plain == m_value && (!m_editor || m_editor->text() == value))
        return;
    m_value = std::move(plain);
    syncEditor();
    textChanged();
}

AttributedString TextField::attributedStringValue() const
{
    if (m_editor && m_editor->text() != m_value.string())
        return AttributedString(m_editor->text(), {{kFontAttributeName, m_font},
                                                   {kForegroundColorAttributeName, QVariant::fromValue(m_textColor)}});
    return displayedString();
}

void TextField::setAttributedStringValue(const AttributedString& value)
{
    m_value = value;
    syncEditor();
    textChanged();
}

void TextField::textChanged()
{
    // Another text may need another size: the layout that holds the field is told, so a label
    // whose text grows gets its room (and one that shrinks gives it back).
    updateGeometry();
    update();
}

void TextField::setTextColor(const Color& color) { m_textColor = color; syncEditor(); update(); }
void TextField::setFont(const QFont& font) { m_font = font; syncEditor(); textChanged(); }
void TextField::setAlignment(TextAlignment alignment) { m_alignment = alignment; syncEditor(); update(); }

void TextField::setPlaceholderString(const QString& placeholder)
{
    m_placeholder = placeholder;
    syncEditor();
}

AttributedString TextField::displayedString() const
{
    AttributedString result = m_value;
    const int n = result.length();
    for (int i = 0; i < n;) {
        TextRange range;
        const QVariantMap attributes = result.attributesAt(i, &range);
        if (range.length <= 0)
            range = {i, 1};
        if (!attributes.contains(kFontAttributeName))
            result.addAttribute(kFontAttributeName, m_font, range);
        if (!attributes.contains(kForegroundColorAttributeName))
            result.addAttribute(kForegroundColorAttributeName, QVariant::fromValue(m_textColor), range);
        if (!attributes.contains(kParagraphStyleAttributeName))
            result.addAttribute(kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{m_alignment}), range);
        i = range.end();
    }
    return result;
}

void TextField::setEditable(bool editable)
{
    if (editable == isEditable())
        return;
    if (!editable) {
        m_value = AttributedString(m_editor->text());
        delete m_editor;
        m_editor = nullptr;
        setFocusProxy(nullptr);
        setFocusPolicy(Qt::NoFocus);
        update();
        return;
    }
    m_editor = new QLineEdit(this);
    m_editor->setFrame(false);
    m_editor->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_editor->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    setFocusProxy(m_editor);
    setFocusPolicy(Qt::StrongFocus);
    // Once editing has ended the field shows the start of its text, not where the caret was.
    connect(m_editor, &QLineEdit::editingFinished, this, [this] {
        if (m_editor && !m_editor->hasFocus())
            m_editor->setCursorPosition(0);
    });
    syncEditor();
    m_editor->setGeometry(rect().adjusted(3, 3, -3, -3));
    m_editor->show();
}

void TextField::setSecure(bool secure)
{
    m_secure = secure;
    syncEditor();
}

void TextField::syncEditor()
{
    if (!m_editor)
        return;
    if (m_editor->text() != m_value.string()) {
        m_editor->setText(m_value.string());
        // A value set while the user is elsewhere shows from its start.
        if (!m_editor->hasFocus())
            m_editor->setCursorPosition(0);
    }
    m_editor->setFont(m_font);
    m_editor->setEchoMode(m_secure ? QLineEdit::Password : QLineEdit::Normal);
    m_editor->setPlaceholderText(m_placeholder);
    m_editor->setAlignment(m_alignment == TextAlignment::Center ? Qt::AlignHCenter
                           : m_alignment == TextAlignment::Right ? Qt::AlignRight : Qt::AlignLeft);
    QPalette palette = m_editor->palette();
    palette.setColor(QPalette::Text, m_textColor.toQColor());
    m_editor->setPalette(palette);
}

void TextField::resizeEvent(QResizeEvent* event)
{
    Control::resizeEvent(event);
    if (m_editor)
        m_editor->setGeometry(rect().adjusted(3, 3, -3, -3));
}

QSize TextField::sizeHint() const
{
    const QRectF used = TextLayout::cached(displayedString(), QSizeF(1e9, 1e9)).usedRect();
    int height = std::max(17, int(std::ceil(used.height())));
    // An editable field holds its editor 3 points inside each edge: room for a whole line of the
    // font, descenders included.
    if (m_editor)
        height = std::max(height, m_editor->sizeHint().height() + 6);
    return QSize(int(std::ceil(used.width() + 2 * kTextInset)) + 1, height);
}

void TextField::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    if (m_drawsBackground)
        context.fillRect(b, m_backgroundColor);
    if (m_editor)
        return;
    context.drawAttributedString(displayedString(), b.adjusted(kTextInset, 0, -kTextInset, 0));
}

// ---------------------------------------------------------------- text view

TextView::TextView(QWidget* parent) : View(parent) {}

AttributedString TextView::displayedString() const
{
    AttributedString result = m_text;
    if (result.length() > 0 && m_alignment != TextAlignment::Natural)
        for (const auto& [range, attributes] : m_text.runs())
            if (!attributes.contains(kParagraphStyleAttributeName))
                result.addAttribute(kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{m_alignment}), range);
    return result;
}

int TextView::characterIndexForPoint(const QPointF& point) const
{
    const AttributedString text = displayedString();
    TextLayout layout(text, QSizeF(std::max(0.0, width() - 2 * kLineFragmentPadding), 1e9));
    return layout.characterIndexAt(point - QPointF(kLineFragmentPadding, 0));
}

void TextView::drawRect(GraphicsContext& context, const QRectF&)
{
    if (m_drawsBackground)
        context.fillRect(bounds(), m_backgroundColor);
    context.drawAttributedString(displayedString(),
                                 QRectF(kLineFragmentPadding, 0, std::max(0.0, width() - 2 * kLineFragmentPadding), 1e9));
}

// ---------------------------------------------------------------- image view

void Image::draw(GraphicsContext& context, const QRectF& destination) const
{
    if (drawingHandler) {
        context.save();
        drawingHandler(context, destination);
        context.restore();
        return;
    }
    context.drawImage(bitmap, destination);
}

ImageView::ImageView(QWidget* parent) : Control(parent) {}

void ImageView::drawRect(GraphicsContext& context, const QRectF&)
{
    if (m_image.isNull())
        return;
    m_image.draw(context, imageRectForScaling(m_image.size, bounds(), m_scaling));
}

// ---------------------------------------------------------------- box

Box::Box(QWidget* parent) : View(parent) {}

void Box::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    const double inset = m_borderWidth / 2.0;
    const QPainterPath shape = roundedRectPath(b.adjusted(inset, inset, -inset, -inset), m_cornerRadius, m_cornerRadius);
    if (m_fillColor.isVisible())
        context.fillPath(shape, m_fillColor);
    if (m_borderWidth > 0 && m_borderColor.isVisible())
        context.strokePath(shape, m_borderColor, m_borderWidth);
}

// ---------------------------------------------------------------- stack view

StackView::StackView(QWidget* parent) : View(parent) {}

void StackView::addArrangedSubview(QWidget* view)
{
    if (!view)
        return;
    m_arranged.append(view);
    addSubview(view);
    layoutSubviews();
}

void StackView::removeArrangedSubview(QWidget* view)
{
    m_arranged.removeAll(view);
    layoutSubviews();
}

int StackView::indexOfArrangedSubview(const QWidget* view) const
{
    for (int i = 0; i < m_arranged.size(); ++i)
        if (m_arranged[i] == view)
            return i;
    return -1;
}

QWidget* StackView::arrangedSubviewAt(int index) const
{
    return index >= 0 && index < m_arranged.size() ? m_arranged[index].data() : nullptr;
}

void StackView::layoutSubviews()
{
    QList<QWidget*> views;
    for (const auto& view : m_arranged)
        if (view && !view->isHidden())
            views << view.data();
    if (views.isEmpty())
        return;
    const double count = double(views.size());
    const bool horizontal = m_orientation == Orientation::Horizontal;
    // The arranged area, in the view's coordinates (y up): the top inset lies at the top.
    const QRectF area(m_edgeInsets.left(), m_edgeInsets.bottom(), std::max(0.0, width() - m_edgeInsets.left() - m_edgeInsets.right()),
                      std::max(0.0, height() - m_edgeInsets.top() - m_edgeInsets.bottom()));
    const double length = std::max(0.0, ((horizontal ? area.width() : area.height()) - m_spacing * (count - 1)) / count);
    for (int i = 0; i < views.size(); ++i) {
        const double offset = i * (length + m_spacing);
        const QRectF frame = horizontal ? QRectF(area.x() + offset, area.y(), length, area.height())
                                        : QRectF(area.x(), area.y() + area.height() - offset - length, area.width(), length);
        if (auto* view = qobject_cast<View*>(views[i]))
            view->setFrame(frame);
        else
            views[i]->setGeometry(toQt(frame).toRect());
    }
}

} // namespace platform::ui
