#include "platform/Alert.h"

#include "platform/Log.h"
#include "platform/ModalFocus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

namespace platform {

namespace {
std::unique_ptr<AlertPresenter>& slot()
{
    static std::unique_ptr<AlertPresenter> presenter;
    return presenter;
}

// The alert's buttons; none is a single "OK".
QStringList buttonTitles(const Alert& alert)
{
    return alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
}

// Keeps an alert over the window it belongs to, with the keyboard: once it is on the screen,
// and again whenever that window is shown anew or gets a new native window (a window that starts
// drawing part of itself through OpenGL is made anew, and comes up over everything). A window
// manager stacks an alert over its window by itself; without one nothing else would, and the
// alert would take the keys unseen under the window.
class AlertOverItsWindow final : public QObject {
public:
    AlertOverItsWindow(QWidget* alert, QWidget* window) : QObject(alert), m_alert(alert), m_window(window)
    {
        alert->installEventFilter(this);
        if (window) {
            window->installEventFilter(this);
            watchNativeWindow();
        }
    }
    ~AlertOverItsWindow() override
    {
        if (m_window)
            m_window->removeEventFilter(this);
        if (m_nativeWindow)
            m_nativeWindow->removeEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && (event->type() == QEvent::WinIdChange || event->type() == QEvent::Show))
            watchNativeWindow();
        // The alert as it comes up; the window each time the display shows it anew (mapped again,
        // or a new native window of it mapped, above everything).
        const bool alertShown = watched == m_alert && event->type() == QEvent::Show;
        const bool windowExposed = watched == m_nativeWindow && event->type() == QEvent::Expose && m_nativeWindow->isExposed();
        if (alertShown || windowExposed)
            QTimer::singleShot(0, this, [this] { bringForward(); });
        return false;
    }

private:
    void watchNativeWindow()
    {
        QWindow* native = m_window ? m_window->windowHandle() : nullptr;
        if (native == m_nativeWindow)
            return;
        if (m_nativeWindow)
            m_nativeWindow->removeEventFilter(this);
        m_nativeWindow = native;
        if (native)
            native->installEventFilter(this);
    }

    void bringForward()
    {
        if (!m_alert || !m_alert->isVisible())
            return;
        if (m_window && m_window->isVisible())
            tieToWindow();
        m_alert->raise();
        m_alert->activateWindow();
    }

    // Names the window's native window as the one the alert belongs to. The display learns it
    // as the alert is shown; a native window made anew since would leave it naming one that is
    // gone (and the window manager stacking the alert as it pleases), so it is told again.
    void tieToWindow()
    {
        if (m_alert->windowHandle() && m_window->windowHandle() && m_alert->windowHandle()->transientParent() != m_window->windowHandle())
            m_alert->windowHandle()->setTransientParent(m_window->windowHandle());
        auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        if (!x11 || !x11->connection())
            return;
        const xcb_window_t window = xcb_window_t(m_window->winId());
        xcb_change_property(x11->connection(), XCB_PROP_MODE_REPLACE, xcb_window_t(m_alert->winId()), XCB_ATOM_WM_TRANSIENT_FOR,
                            XCB_ATOM_WINDOW, 32, 1, &window);
    }

    QPointer<QWidget> m_alert;
    QPointer<QWidget> m_window;
    QPointer<QWindow> m_nativeWindow;
};

// Keeps a long alert within its screen's free area: where the box comes out taller than the area
// (a small screen, a long list of names), its informative text scrolls in the height the area
// leaves, so that the box lies on the screen with its buttons. The box takes its size as it is
// shown, and again on the layout request the change makes.
class AlertWithinItsScreen final : public QObject {
public:
    AlertWithinItsScreen(QMessageBox* box, QString informative)
        : QObject(box), m_box(box), m_informative(std::move(informative))
    {
        box->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_box && event->type() == QEvent::Resize && m_box->isVisible() && !m_scroll)
            fit();
        return false;
    }

private:
    void fit()
    {
        const QScreen* screen = m_box->screen();
        QLayout* layout = m_box->layout();
        QLabel* text = nullptr;
        for (QLabel* label : m_box->findChildren<QLabel*>())
            if (!m_informative.isEmpty() && label->text() == m_informative)
                text = label;
        if (!screen || !layout || !text)
            return;
        // The height the box asks for (the window may have been fitted to the screen already).
        const int asked = layout->hasHeightForWidth() ? layout->totalHeightForWidth(m_box->width()) : layout->totalMinimumSize().height();
        const int excess = asked + m_box->frameGeometry().height() - m_box->height() - screen->availableGeometry().height();
        if (excess <= 0)
            return;
        const int textHeight = text->hasHeightForWidth() ? text->heightForWidth(text->width()) : text->sizeHint().height();
        m_scroll = new QScrollArea;
        m_scroll->setFrameShape(QFrame::NoFrame);
        m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_scroll->setWidgetResizable(true);
        m_scroll->setMinimumWidth(text->width() + m_scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        m_scroll->setFixedHeight(std::max(3 * text->fontMetrics().lineSpacing(), textHeight - excess));
        delete m_box->layout()->replaceWidget(text, m_scroll);
        m_scroll->setWidget(text);
    }

    QMessageBox* m_box;
    QString m_informative;
    QPointer<QScrollArea> m_scroll;
};

} // namespace

AlertPresenter& AlertPresenter::shared()
{
    auto& s = slot();
    if (!s)
        s = std::make_unique<QtAlertPresenter>();
    return *s;
}

void AlertPresenter::setShared(std::unique_ptr<AlertPresenter> presenter) { slot() = std::move(presenter); }

int alertCancelButtonIndex(const QStringList& titles)
{
    for (int i = 0; i < titles.size(); ++i)
        if (titles.at(i).trimmed().compare(QLatin1String("Cancel"), Qt::CaseInsensitive) == 0)
            return i;
    return titles.isEmpty() ? 0 : int(titles.size()) - 1;
}

int alertEscapeButtonIndex(const Alert& alert)
{
    const QStringList titles = buttonTitles(alert);
    if (alert.escapeButton >= 0 && alert.escapeButton < titles.size())
        return alert.escapeButton;
    return alertCancelButtonIndex(titles);
}

AlertResult runAlert(const Alert& alert, QWidget* parent) { return AlertPresenter::shared().runModal(alert, parent); }

int alertDefaultButtonIndex(const Alert& alert)
{
    const QStringList titles = buttonTitles(alert);
    return alert.destructive ? alertCancelButtonIndex(titles) : 0;
}

void showAlert(const QString& message, const QString& informative, AlertStyle style)
{
    Alert alert;
    alert.style = style;
    alert.messageText = message;
    alert.informativeText = informative;
    alert.buttons = {QStringLiteral("OK")};
    runAlert(alert);
}

AlertResult QtAlertPresenter::runModal(const Alert& alert, QWidget* parent)
{
    // Declared first: the window under the alert gets the keys back once the box has gone.
    const ModalFocusReturn focusReturn(parent);
    QWidget* under = parent ? parent->window() : activeOuterWindow();
    QMessageBox box(under);
    box.setWindowModality(Qt::ApplicationModal);
    new AlertOverItsWindow(&box, under);
    box.setText(alert.messageText);
    box.setInformativeText(alert.informativeText);
    new AlertWithinItsScreen(&box, alert.informativeText);
    switch (alert.style) {
    case AlertStyle::Warning: box.setIcon(QMessageBox::Warning); break;
    case AlertStyle::Informational: box.setIcon(QMessageBox::Information); break;
    case AlertStyle::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    const QStringList titles = buttonTitles(alert);
    std::vector<QAbstractButton*> buttons;
    const int defaultIndex = alertDefaultButtonIndex(alert);
    for (int i = 0; i < titles.size(); ++i) {
        // The first button is the affirmative one; it is the default unless it destroys something.
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        QPushButton* b = box.addButton(titles.at(i), i == 0 ? role : QMessageBox::ActionRole);
        b->setAutoDefault(i == defaultIndex);
        if (i == defaultIndex)
            box.setDefaultButton(b);
        buttons.push_back(b);
    }
    QCheckBox* suppression = nullptr;
    if (alert.showsSuppressionButton) {
        suppression = new QCheckBox(alert.suppressionButtonTitle.isEmpty()
                                        ? QStringLiteral("Do not show this message again")
                                        : alert.suppressionButtonTitle);
        box.setCheckBox(suppression);
    }
    // Escape, the window's close button and a quit while the alert is up all answer the
    // cancel button: a choice only a click makes (a destructive first button above all, or a
    // button that opens a page or a folder) is never taken for the user.
    const int cancel = alertEscapeButtonIndex(alert);
    box.setEscapeButton(buttons[size_t(cancel)]);
    box.exec();
    AlertResult result;
    result.response = kAlertFirstButtonReturn + cancel;
    for (size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            result.response = kAlertFirstButtonReturn + int(i);
    result.suppressed = suppression && suppression->isChecked();
    return result;
}

QWidget* ScriptedAlertPresenter::shownOver(size_t index) const
{
    return index < m_parents.size() ? qobject_cast<QWidget*>(m_parents[index].data()) : nullptr;
}

AlertResult ScriptedAlertPresenter::runModal(const Alert& alert, QWidget* parent)
{
    m_shown.push_back(alert);
    m_parents.emplace_back(parent ? parent->window() : nullptr);
    PLR_LOG_INFO(QStringLiteral("Alert: \"%1\" (%2)").arg(alert.messageText, alert.informativeText));
    if (onShown)
        onShown(alert);
    if (m_answers.empty()) {
        if (onUnexpected)
            onUnexpected(alert);
        // Unanswered: as if it were closed without a click.
        return AlertResult{kAlertFirstButtonReturn + alertEscapeButtonIndex(alert), false};
    }
    AlertResult answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

} // namespace platform
