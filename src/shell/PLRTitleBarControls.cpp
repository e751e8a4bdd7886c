#include "shell/PLRTitleBarControls.h"

#include "platform/NotificationCenter.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "platform-ui/Window.h"
#include "shell/PLRShellNotifications.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

using namespace platform::ui;

// ---------------------------------------------------------------- title-bar button

PLRTitleBarButton::PLRTitleBarButton(QWidget* parent) : Button(parent)
{
    setBordered(false);
    setShowsFocusRing(false);
    setImageScaling(ImageScaling::ProportionallyDown);
}

QWidget* PLRTitleBarButton::hitTest(const QPointF& pointInSuperview)
{
    if (alphaValue() <= 0.0 && isEnabled() && !isHidden() && frame().contains(pointInSuperview))
        return this;
    return Button::hitTest(pointInSuperview);
}

void PLRTitleBarButton::setImageNamed(const QString& name)
{
    m_imageName = name;
    m_picture = QImage();
    m_pictureLoaded = name.isEmpty();
    update();
}

void PLRTitleBarButton::setAlternateImageNamed(const QString& name)
{
    m_alternateImageName = name;
    m_alternateImage = QImage();
    m_alternateLoaded = name.isEmpty();
    update();
}

QImage PLRTitleBarButton::picture() const
{
    if (!m_pictureLoaded) {
        m_picture = namedImage(m_imageName);
        m_pictureLoaded = true;
    }
    return m_picture;
}

QImage PLRTitleBarButton::alternateImage() const
{
    if (!m_alternateLoaded) {
        m_alternateImage = namedImage(m_alternateImageName);
        m_alternateLoaded = true;
    }
    return m_alternateImage;
}

void PLRTitleBarButton::setShowsAlternate(bool shows)
{
    m_showsAlternate = shows;
    update();
}

void PLRTitleBarButton::drawImageAndTitle(GraphicsContext& context, const QRectF& rect)
{
    const bool wantsAlternate = isHighlighted() || m_showsAlternate;
    const QImage alternate = wantsAlternate ? alternateImage() : QImage();
    const QImage picture = !alternate.isNull() ? alternate : this->picture();
    if (!picture.isNull()) {
        const QRectF target = imageRectForScaling(picture.deviceIndependentSize(), rect, imageScaling());
        context.drawImage(picture, target, {}, QPainter::CompositionMode_SourceOver,
                          isEnabled() ? 1.0 : 0.4);
    }
    if (!title().isEmpty())
        drawTitleText(context, rect, title());
}

QFont PLRTitleBarButton::titleFont()
{
    return systemFont(13, FontWeight::Medium);
}

void PLRTitleBarButton::drawTitleText(GraphicsContext& context, const QRectF& rect, const QString& string)
{
    const AttributedString text(string, {{kFontAttributeName, titleFont()},
                                         {kForegroundColorAttributeName,
                                          QVariant::fromValue(isEnabled() ? Color(0.2, 0.2, 0.2) : Color(0.6, 0.6, 0.6))},
                                         {kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{TextAlignment::Center})}});
    TextLayout layout(text, QSizeF(rect.width(), 1e9));
    const double h = layout.usedRect().height();
    context.drawAttributedString(text, QRectF(rect.x(), rect.y() + (rect.height() - h) / 2, rect.width(), h));
}

void PLRTitleBarButton::drawRect(GraphicsContext& context, const QRectF&)
{
    drawImageAndTitle(context, bounds());
}

// ---------------------------------------------------------------- post selector

PLRPostSelecorPopUpButton::PLRPostSelecorPopUpButton(QWidget* parent) : PLRTitleBarButton(parent) {}

void PLRPostSelecorPopUpButton::mouseDown(const MouseEvent& event)
{
    const QPointF point = event.locationIn(this);
    if (point.x() <= kHomeEdgeWidth) {
        m_triggerHome = true;
        return;
    }
    m_triggerHome = false;
    PLRTitleBarButton::mouseDown(event);
}

void PLRPostSelecorPopUpButton::mouseUp(const MouseEvent& event)
{
    if (m_triggerHome) {
        if (m_homeTarget && m_homeSelector)
            m_homeSelector(this);
        // Without a home target the press on the home edge does nothing.
        return;
    }
    PLRTitleBarButton::mouseUp(event);
}

void PLRPostSelecorPopUpButton::mouseCancelled()
{
    m_triggerHome = false;
    PLRTitleBarButton::mouseCancelled();
}

void PLRPostSelecorPopUpButton::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    const QImage background = namedImage(QStringLiteral("toolbar-button-bg"));
    const QImage arrow = namedImage(QStringLiteral("document-switcher-arrow"));
    const QRectF body(b.x(), b.y(), std::max(0.0, b.width() - kArrowWidth), b.height());
    if (!background.isNull())
        context.drawImage(background, body, {}, QPainter::CompositionMode_SourceOver, 1.0);
    if (!arrow.isNull())
        context.drawImage(arrow, QRectF(b.x() + b.width() - kArrowWidth, b.y(), kArrowWidth, b.height()), {},
                          QPainter::CompositionMode_SourceOver, 1.0);
    // The post's name on the body, on one line.
    const QString shown = shownTitle();
    if (!shown.isEmpty())
        drawTitleText(context, body.adjusted(kTitleLeftInset, 0, -kTitleRightInset, 0), shown);
}

QString PLRPostSelecorPopUpButton::shownTitle() const
{
    QString name = title();
    name.replace(QLatin1Char('\n'), QLatin1Char(' '));
    // A little less than the room: the layout's line must not break on the last pixel.
    const double room = width() - kArrowWidth - kTitleLeftInset - kTitleRightInset - 2.0;
    return QFontMetricsF(titleFont()).elidedText(name, Qt::ElideMiddle, std::max(0.0, room));
}

double PLRPostSelecorPopUpButton::widthForWholeTitle() const
{
    QString name = title();
    name.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return std::ceil(QFontMetricsF(titleFont()).horizontalAdvance(name)) + kArrowWidth + kTitleLeftInset + kTitleRightInset + 4.0;
}

void PLRPostSelecorPopUpButton::setPostName(const QString& name)
{
    setTitle(name);
    setToolTip(name);
}

// ---------------------------------------------------------------- popover

PLRPopover::PLRPopover(QWidget* parent) : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
}

void PLRPopover::paintEvent(QPaintEvent*)
{
    // White inside a grey edge, so that it stands out over the white panels it opens on (a
    // pop-up window is square: no rounded corners over whatever lies behind it).
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QColor(0xcc, 0xcc, 0xcc));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void PLRPopover::setContentView(QWidget* view)
{
    if (m_content == view)
        return;
    if (m_content)
        layout()->removeWidget(m_content);
    m_content = view;
    if (view)
        layout()->addWidget(view);
}

void PLRPopover::showRelativeToRect(const QRect& rect, QWidget* view)
{
    if (!view)
        return;
    adjustSize();
    const QRect anchor(view->mapToGlobal(rect.topLeft()), rect.size());
    // It stays inside the view's window (and the part of it on the screen): below the rectangle
    // where there is room, else above it, else as far down as the window allows; centred on the
    // rectangle as far as the window's sides allow.
    QRect area = view->window()->geometry();
    if (const QRect free = platform::ui::screenFreeArea(view->window()); area.intersects(free))
        area &= free;
    constexpr int kGap = 4;
    QRect frame(QPoint(anchor.center().x() - width() / 2, anchor.bottom() + 1 + kGap), size());
    if (frame.bottom() > area.bottom()) {
        const int above = anchor.top() - kGap - height();
        frame.moveTop(above >= area.top() ? above : std::max(area.top(), area.bottom() + 1 - height()));
    }
    frame.moveLeft(std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() + 1 - width())));
    setGeometry(frame);
    show();
}

void PLRPopover::mousePressEvent(QMouseEvent* event)
{
    if (rect().contains(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    QWidget::mousePressEvent(event);   // closes the popover
    if (isVisible())
        return;
    // The widget under the press (in the window the popover opened from, where the window system
    // cannot tell), or the nearest one above it in its window, that a click gives the keyboard to.
    QWidget* under = QApplication::widgetAt(global);
    if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr; !under && owner && owner->isVisible()) {
        const QPoint local = owner->mapFromGlobal(global);
        if (owner->rect().contains(local))
            under = owner->childAt(local) ? owner->childAt(local) : owner;
    }
    for (QWidget* widget = under; widget; widget = widget->parentWidget()) {
        if (widget->isEnabled() && (widget->focusPolicy() & Qt::ClickFocus)) {
            widget->setFocus(Qt::MouseFocusReason);
            break;
        }
        if (widget->isWindow())
            break;
    }
}

void PLRPopover::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLRPopoverDidCloseNotification), this);
}
