#include "platform-ui/TabChain.h"

#include <QApplication>
#include <QVariant>

namespace platform::ui {

namespace {

constexpr const char* kKeptLastProperty = "pelloraKeptLastInTabChain";

bool within(const QWidget* widget, const QWidget* candidate)
{
    return candidate == widget || widget->isAncestorOf(candidate);
}

// The widget and the widgets in it that take the keyboard, parents before their children
// (windows of their own excepted).
void collectStops(QWidget* widget, QList<QWidget*>& stops)
{
    if (widget->focusPolicy() != Qt::NoFocus)
        stops << widget;
    for (QObject* child : widget->children())
        if (child->isWidgetType() && !static_cast<QWidget*>(child)->isWindow())
            collectStops(static_cast<QWidget*>(child), stops);
}

} // namespace

void keepLastInTabChain(QWidget* widget)
{
    if (!widget)
        return;
    widget->setProperty(kKeptLastProperty, true);
    placeLastInTabChain(widget);
}

bool isKeptLastInTabChain(const QWidget* widget)
{
    for (const QWidget* w = widget; w && !w->isWindow(); w = w->parentWidget())
        if (w->property(kKeptLastProperty).toBool())
            return true;
    return false;
}

QList<QWidget*> keptLastInTabChain(const QWidget* window)
{
    QList<QWidget*> kept;
    if (!window)
        return kept;
    for (QWidget* widget : window->findChildren<QWidget*>())
        if (widget->window() == window && widget->property(kKeptLastProperty).toBool())
            kept << widget;
    return kept;
}

void placeLastInTabChain(QWidget* widget)
{
    if (!widget || widget->isWindow())
        return;
    QWidget* window = widget->window();
    if (QWidget* focused = QApplication::focusWidget(); focused && within(widget, focused))
        return;
    QList<QWidget*> stops;
    collectStops(widget, stops);
    if (stops.isEmpty())
        return;
    // The window's chain, and its last stop outside the widget. (A chain is a ring through the
    // window; the bound only guards against a broken one.)
    QList<QWidget*> chain;
    QWidget* last = nullptr;
    for (QWidget* w = window->nextInFocusChain(); w && w != window && chain.size() < 100000; w = w->nextInFocusChain()) {
        chain << w;
        if (w->focusPolicy() != Qt::NoFocus && !within(widget, w))
            last = w;
    }
    if (!last)
        return;
    // Already last? (Every stop after the last one outside is one of the widget's, so they are
    // all last when there are as many.)
    qsizetype after = 0;
    for (qsizetype i = chain.indexOf(last) + 1; i < chain.size(); ++i)
        if (chain.at(i)->focusPolicy() != Qt::NoFocus)
            ++after;
    if (after == stops.size())
        return;
    // A stop whose keyboard goes to a widget inside it (a web view's page) moves as a plain
    // widget, its own part right after it: Qt moves such a widget together with everything that
    // lies between it and that part in the chain.
    std::vector<std::pair<QWidget*, QPointer<QWidget>>> proxies;
    for (QWidget* stop : std::as_const(stops)) {
        QWidget* proxy = stop->focusProxy();
        if (proxy && stop->isAncestorOf(proxy)) {
            proxies.emplace_back(stop, proxy);
            stop->setFocusProxy(nullptr);
        }
    }
    QWidget* previous = last;
    for (QWidget* stop : std::as_const(stops)) {
        QWidget::setTabOrder(previous, stop);
        previous = stop;
    }
    for (auto it = proxies.rbegin(); it != proxies.rend(); ++it)
        if (it->second)
            it->first->setFocusProxy(it->second);
}

KeptLastTakeNoKeyboard::KeptLastTakeNoKeyboard(const QList<QWidget*>& kept)
{
    for (QWidget* widget : kept) {
        QList<QWidget*> stops;
        collectStops(widget, stops);
        for (QWidget* stop : std::as_const(stops))
            m_saved.emplace_back(stop, stop->focusPolicy());
    }
    // (A widget's focus policy is handed to its focus proxy too: all are saved first.)
    for (auto& [stop, policy] : m_saved)
        stop->setFocusPolicy(Qt::NoFocus);
}

KeptLastTakeNoKeyboard::~KeptLastTakeNoKeyboard()
{
    // Parents first: a widget's policy reaches its focus proxy, which then gets its own back.
    for (auto& [stop, policy] : m_saved)
        if (stop)
            stop->setFocusPolicy(policy);
}

} // namespace platform::ui
