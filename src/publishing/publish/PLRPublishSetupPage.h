#pragma once

#include "platform/Dispatch.h"
#include "platform-ui/View.h"
#include "shell/modal/PLRModalView.h"
#include "services/web-services/PLRWebServicePublisher.h"

#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <vector>

class PLRWebServiceUserManager;

// What every page here shares: the user session's manager and publisher, an observer of its
// machine, delayed steps that "Back" can cancel, and the completion cover's button title.
class PLRPublishSetupPage : public PLRModalPanelViewController {
    Q_OBJECT
public:
    explicit PLRPublishSetupPage(QObject* parent = nullptr);
    ~PLRPublishSetupPage() override;

    // A page that leaves stops following the user session's machine.
    void viewWillBecomeInactive(PLRModalViewController* modal) override;

    platform::ui::View* stackView() const { return m_stackView; }

protected:
    static PLRWebServiceUserManager* userManager();
    static PLRWebServicePublisherPtr remotePublisher();
    static QString userStateName();
    // "Ok" when a publisher existed before the dialog began, else "Start Publishing".
    QString completionButtonTitle() const;
    // The website is set up: the publish-or-export offer is not needed again; closes the dialog.
    static void finishSetUp(PLRModalViewController* modal);
    // Observes the user session's machine.
    void observeUserManager();
    void stopObservingUserManager();
    virtual void webServiceManagerStateChangeNotification(const QString& state, const QString& event,
                                                          const QVariantMap& userInfo);
    // A delayed step, cancelled by cancelPendingPerforms.
    void after(double seconds, std::function<void()> task);
    void cancelPendingPerforms();
    static void openHelp(const QString& path);
    // The page's form: a column under a title and explanation.
    platform::ui::View* makePage(const QString& title, const QString& text);

    QPointer<platform::ui::View> m_stackView;
    QPointer<QObject> m_userObserver;
    std::vector<platform::Cancellable> m_pending;
};
