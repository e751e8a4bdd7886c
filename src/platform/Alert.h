#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace platform {

// Answers of an alert's buttons, in the order they were added.
inline constexpr int kAlertFirstButtonReturn = 1000;
inline constexpr int kAlertSecondButtonReturn = 1001;
inline constexpr int kAlertThirdButtonReturn = 1002;

enum class AlertStyle { Warning, Informational, Critical };

struct Alert {
    QString messageText;
    QString informativeText;
    QStringList buttons;   // none: a single "OK"
    AlertStyle style = AlertStyle::Warning;
    bool showsSuppressionButton = false;
    // The first button destroys something: Return answers the cancel button instead of it.
    bool destructive = false;
    QString suppressionButtonTitle;   // empty: "Do not show this message again"
    // The button Escape, the window's close button and a quit while the alert is up answer;
    // -1: the one titled "Cancel", else the last. An alert whose last button opens something
    // (a help page, a folder) names its acknowledgement here: closing it never opens anything.
    int escapeButton = -1;
};

struct AlertResult {
    int response = kAlertFirstButtonReturn;
    bool suppressed = false;   // the suppression check box's state when the alert closed
};

// Shows application-modal alerts. The application installs the Qt presenter; tests install
// a scripted one.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual AlertResult runModal(const Alert& alert, QWidget* parent = nullptr) = 0;

    static AlertPresenter& shared();
    static void setShared(std::unique_ptr<AlertPresenter> presenter);
};

// Shows the alert with the shared presenter.
AlertResult runAlert(const Alert& alert, QWidget* parent = nullptr);
// Shows the message and the informative text with one "OK" button; a warning unless told
// otherwise (news of work done well is informational).
void showAlert(const QString& message, const QString& informative = QString(), AlertStyle style = AlertStyle::Warning);
// The button an alert closed without a click answers: the one titled "Cancel", else the last
// (for a single button, that one).
int alertCancelButtonIndex(const QStringList& titles);
// The button the alert answers when it is closed without a click: its own escape button, else
// as above.
int alertEscapeButtonIndex(const Alert& alert);
// The button Return answers: the first, or for a destructive alert the cancel button.
int alertDefaultButtonIndex(const Alert& alert);

// The real alerts, as application-modal message boxes.
class QtAlertPresenter final : public AlertPresenter {
public:
    AlertResult runModal(const Alert& alert, QWidget* parent) override;
};

// Answers alerts from a queue and records every alert shown. An alert with no queued answer
// calls the unexpected handler (tests make it a failure) and answers the last button.
class ScriptedAlertPresenter final : public AlertPresenter {
public:
    void enqueue(int response, bool suppressed = false) { m_answers.push_back({response, suppressed}); }
    AlertResult runModal(const Alert& alert, QWidget* parent) override;

    const std::vector<Alert>& shown() const { return m_shown; }
    // The window each alert shown was put over (null: none given, or gone since).
    QWidget* shownOver(size_t index) const;
    size_t pendingAnswers() const { return m_answers.size(); }
    void clear() { m_shown.clear(); m_parents.clear(); m_answers.clear(); }

    std::function<void(const Alert&)> onUnexpected;
    std::function<void(const Alert&)> onShown;   // runs before the answer is given

private:
    std::deque<AlertResult> m_answers;
    std::vector<Alert> m_shown;
    std::vector<QPointer<QObject>> m_parents;
};

} // namespace platform
