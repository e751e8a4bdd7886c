#pragma once

// Runs multi-step modal dialogs in the modal overlay window, one at a time.
//
//   PLRModalManager::presentModalWindowWithViews({"PageA", "PageB"}, data, true, 0,
//                                                 [](qint64 response) { ... });
//
// The call returns when the dialog has ended. The completion gets:
//   -1002 (kModalResponseContinue)  a page ended it with dismissModalWithSuccess(true)
//   -1000 (kModalResponseStop)      dismissModalWithSuccess(false), the overlay window's close
//                                   button or Escape; also at once, without a dialog, when a
//                                   dialog already runs or a page name is not registered
//   -1001 (kModalResponseAbort)     the dialog's own close button
// Page names are registered with PLRModalView::registerPage.

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class PLRModalViewController;

inline constexpr auto kPLRModalPublishingPrimaryKey = "publishing_primary";
inline constexpr auto kPLRModalPublisherExistingKey = "publisher_exisiting";

class PLRModalManager {
public:
    using Completion = std::function<void(qint64 response)>;

    static void presentModalWindowWithViews(const QStringList& views, const QVariantMap& data, bool presentCloseButton,
                                            qint64 homeViewIndex, Completion completion);
    // The publishing set-up pages; with false the completion gets -1002 at once and nothing shows.
    static void presentPublisherWorkflow(bool present, Completion completion);
    // The page names of the publishing set-up, in order.
    static QStringList publisherWorkflowViews();

    // A dialog runs.
    static bool isBusy();
    // The running dialog's content (null when none runs).
    static PLRModalViewController* currentModalViewController();
};
