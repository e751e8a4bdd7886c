#include "shell/PLRKeyHold.h"

#include "platform/Log.h"
#include "platform-ui/View.h"

#include <QApplication>
#include <QKeyEvent>

PLRKeyHold::PLRKeyHold(QWidget* window, QObject* parent) : QObject(parent), m_window(window)
{
    if (!window || !qApp)
        return;
    m_holding = true;
    // Installed last, it sees the keys before the other application-wide filters.
    qApp->installEventFilter(this);
}

PLRKeyHold::~PLRKeyHold()
{
    stop();
    if (!m_keys.empty())
        PLR_LOG_INFO(QStringLiteral("%1 keys typed while a screen opened were not handed to it").arg(m_keys.size()));
}

void PLRKeyHold::stop()
{
    if (!m_holding)
        return;
    m_holding = false;
    if (qApp)
        qApp->removeEventFilter(this);
}

void PLRKeyHold::release()
{
    stop();
    std::vector<std::unique_ptr<QKeyEvent>> keys = std::move(m_keys);
    m_keys.clear();
    if (keys.empty())
        return;
    QPointer<QWidget> window = m_window;
    for (std::unique_ptr<QKeyEvent>& key : keys) {
        if (!window)
            return;
        QWidget* focus = QApplication::focusWidget();
        QWidget* target = focus && focus->window() == window ? focus : window->focusWidget();
        QApplication::sendEvent(target ? target : window.data(), key.get());
    }
}

PLR_APPLICATION_EVENT_FILTER bool PLRKeyHold::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (!m_holding || (type != QEvent::KeyPress && type != QEvent::KeyRelease) || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (!m_window || widget->window() != m_window)
        return false;
    if (int(m_keys.size()) >= kMaxHeld) {
        if (!m_warned)
            PLR_LOG_WARN(QStringLiteral("Keys typed while a screen opened: more than %1, the rest dropped").arg(kMaxHeld));
        m_warned = true;
        return true;
    }
    m_keys.push_back(std::unique_ptr<QKeyEvent>(static_cast<QKeyEvent*>(event->clone())));
    return true;
}
