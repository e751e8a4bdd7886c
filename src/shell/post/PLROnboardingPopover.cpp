#include "shell/post/PLROnboardingPopover.h"

#include <QKeyEvent>
#include <QPainterPath>

#include <algorithm>

using namespace platform::ui;

PLROnboardingPopover::PLROnboardingPopover(QWidget* host) : View(host), m_host(host)
{
    setHidden(true);
}

PLROnboardingPopover::~PLROnboardingPopover()
{
    close();
}

void PLROnboardingPopover::setContentView(QWidget* content)
{
    if (m_content == content)
        return;
    if (m_content && m_content->parentWidget() == this) {
        m_content->hide();
        m_content->setParent(m_contentOwner);
    }
    m_content = content;
    m_contentOwner = content ? content->parentWidget() : nullptr;
}

void PLROnboardingPopover::showRelativeToRect(const QRectF& rect, QWidget* anchorView, Edge preferredEdge)
{
    if (!m_content || !anchorView || !m_host)
        return;
    m_edge = preferredEdge;
    const QSize contentSize = m_content->size().isEmpty() ? m_content->sizeHint() : m_content->size();
    const QSizeF size(contentSize.width() + 2 * kPadding + kArrowLength, contentSize.height() + 2 * kPadding);
    const QRectF anchor(anchorView->mapTo(m_host, rect.topLeft().toPoint()), rect.size());
    double x = preferredEdge == Edge::MaxX ? anchor.right() : anchor.left() - size.width();
    double y = anchor.center().y() - size.height() / 2;
    y = std::clamp(y, 4.0, std::max(4.0, m_host->height() - size.height() - 4.0));
    x = std::clamp(x, 0.0, std::max(0.0, m_host->width() - size.width()));
    m_arrowY = std::clamp(anchor.center().y() - y, kPadding, size.height() - kPadding);
    setGeometry(QRectF(QPointF(x, y), size).toRect());
    m_content->setParent(this);
    const double contentX = (preferredEdge == Edge::MaxX ? kArrowLength : 0.0) + kPadding;
    m_content->setGeometry(int(contentX), int(kPadding), contentSize.width(), contentSize.height());
    m_content->show();
    setHidden(false);
    raise();
    m_shown = true;
    // Escape that no view in the window used comes to the window itself.
    if (QWidget* window = m_host->window(); window != m_watchedWindow) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = window;
        window->installEventFilter(this);
    }
    update();
}

bool PLROnboardingPopover::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedWindow && m_shown && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && m_escapeAction) {
            key->accept();
            // The action may close and delete the bubble: it runs on a copy.
            const std::function<void()> action = m_escapeAction;
            action();
            return true;
        }
    }
    return View::eventFilter(watched, event);
}

void PLROnboardingPopover::close()
{
    if (!m_shown)
        return;
    m_shown = false;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = nullptr;
    setHidden(true);
    if (m_content && m_content->parentWidget() == this) {
        m_content->hide();
        m_content->setParent(m_contentOwner);
    }
}

void PLROnboardingPopover::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    const bool right = m_edge == Edge::MaxX;
    const QRectF bubble = right ? b.adjusted(kArrowLength, 0.5, -0.5, -0.5) : b.adjusted(0.5, 0.5, -kArrowLength, -0.5);
    QPainterPath path = roundedRectPath(bubble, 8, 8);
    QPainterPath arrow;
    if (right) {
        arrow.moveTo(kArrowLength + 1, m_arrowY - kArrowLength);
        arrow.lineTo(0.5, m_arrowY);
        arrow.lineTo(kArrowLength + 1, m_arrowY + kArrowLength);
    } else {
        arrow.moveTo(b.width() - kArrowLength - 1, m_arrowY - kArrowLength);
        arrow.lineTo(b.width() - 0.5, m_arrowY);
        arrow.lineTo(b.width() - kArrowLength - 1, m_arrowY + kArrowLength);
    }
    arrow.closeSubpath();
    path = path.united(arrow);
    context.setShadow(Shadow{Color::black(0.25), 6.0, QSizeF(0, 2)});
    context.fillPath(path, Color::white());
    context.setShadow(std::nullopt);
    context.strokePath(path, Color::black(0.12), 1.0);
}
