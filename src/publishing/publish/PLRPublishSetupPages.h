#pragma once

// The pages through which a user connects their website (type, plug-in, access key,
// defaults), and the small pages around publishing (first post, Gutenberg, publish or export).
// Each page is a descriptor (its picture and credit; registered with PLRModalView by name) and
// a controller made from the "ModalWindow" scenes; the controllers answer the modal dialog and
// drive its spinner, error bar and covers.

#include "controls/PLRSlidingButtonStack.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform-ui/View.h"
#include "shell/modal/PLRModalView.h"
#include "services/web-services/PLRWebServicePublisher.h"

#include <QPointer>
#include <QStringList>

#include <vector>

#include "controls/PLRCheckboxButton.h"
#include "controls/PLRErrorBox.h"
#include "controls/PLRHyperLinkView.h"
#include "controls/PLRLinkButtons.h"
#include "controls/PLRPopupButton.h"
#include "platform-ui/Controls.h"

class PLRWebServiceUserManager;

// Names of the dialog pages (descriptors) and of their controllers' scenes.
inline constexpr char kPLRModalPublishTypeView[] = "PLRModalPublishTypeView";
inline constexpr char kPLRModalPublishPluginTypeView[] = "PLRModalPublishPluginTypeView";
inline constexpr char kPLRModalPublishSecretView[] = "PLRModalPublishSecretView";
inline constexpr char kPLRModalPublishDefaultsView[] = "PLRModalPublishDefaultsView";
inline constexpr char kPLRFirstPostCompletedView[] = "PLRFirstPostCompletedView";
inline constexpr char kPLRModalGuttenburgView[] = "PLRModalGuttenburgView";
inline constexpr char kPLRModalPublishChoice[] = "PLRModalPublishChoice";

// Posted by the publish-or-export page, user info {"shouldOpenPublishTab": flag}.
inline constexpr char kPLRNotificationShowExportPublishPanel[] = "kPLR_NOTIFICATION_SHOW_EXPORT_PUBLIISH_PANEL";
inline constexpr char kPLRShouldOpenPublishTabKey[] = "shouldOpenPublishTab";

namespace PLRPublishSetupPages {
// Registers the descriptors with the dialog and the controllers with the "ModalWindow" scenes.
void install();
// The WordPress themes the type page offers, sorted.
const QStringList& wordPressThemes();
}

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
    // Observes the user session's machine; the handler runs on the main queue.
    void observeUserManager();
    void stopObservingUserManager();
    virtual void webServiceManagerStateChangeNotification(const QString& state, const QString& event,
                                                          const QVariantMap& userInfo);
    // A delayed step (main queue), cancelled by cancelPendingPerforms.
    void after(double seconds, std::function<void()> task);
    void cancelPendingPerforms();
    static void openHelp(const QString& path);
    // The page's form: a column under a title and explanation.
    platform::ui::View* makePage(const QString& title, const QString& text);

    QPointer<platform::ui::View> m_stackView;
    QPointer<QObject> m_userObserver;
    std::vector<platform::Cancellable> m_pending;
};

// ---- publisher set-up ----

class PLRPublishTypeSelectionViewController : public PLRPublishSetupPage, public PLRSlidingButtonStackDelegate {
    Q_OBJECT
public:
    explicit PLRPublishTypeSelectionViewController(QObject* parent = nullptr);

    void viewWillBecomeActive(PLRModalViewController* modal) override;
    void primaryActionWasSelected(PLRModalViewController* modal) override;
    bool shouldPresentSecondaryAction(PLRModalViewController*) override { return false; }
    void primaryActionForErrorWasClicked(PLRModalViewController* modal) override;
    void secondaryActionForErrorWasClicked(PLRModalViewController* modal) override;
    void buttonStack(PLRSlidingButtonStack* stack, qint64 didSelectIndex) override;

    void ensureWebsiteThemeUI();
    void setThemeOptions(const QStringList& names);
    void ensureAddtionalTextOptions();
    void websiteThemeChanged();
    void checkEmailVerified();
    void presentEmailVerifyError();
    void handleSuccess();

    platform::ui::TextField* hostTextField() const { return m_hostTextField; }
    PLRErrorBox* hostErrorBox() const { return m_hostErrorBox; }
    PLRSlidingButtonStack* websiteHostStack() const { return m_websiteHostStack; }
    platform::ui::TextField* websiteThemeLabel() const { return m_websiteThemeLabel; }
    PLRPopupButton* themePopUpButton() const { return m_themePopUpButton; }
    PLRErrorBox* themePopUpErrorBox() const { return m_themePopUpErrorBox; }
    platform::ui::TextField* themeTextField() const { return m_themeTextField; }
    PLRErrorBox* themeTextErrorBox() const { return m_themeTextErrorBox; }

protected:
    platform::ui::View* loadView() override;
    void webServiceManagerStateChangeNotification(const QString& state, const QString& event,
                                                  const QVariantMap& userInfo) override;

private:
    QPointer<platform::ui::TextField> m_hostTextField;
    QPointer<PLRErrorBox> m_hostErrorBox;
    QPointer<PLRSlidingButtonStack> m_websiteHostStack;
    QPointer<platform::ui::TextField> m_websiteThemeLabel;
    QPointer<PLRPopupButton> m_themePopUpButton;
    QPointer<PLRErrorBox> m_themePopUpErrorBox;
    QPointer<platform::ui::TextField> m_themeTextField;
    QPointer<PLRErrorBox> m_themeTextErrorBox;
    bool m_waiting = false;
    bool m_succeeded = false;
    bool m_checkingVerification = false;
};

class PLRPublishPluginViewController : public PLRPublishSetupPage {
    Q_OBJECT
public:
    explicit PLRPublishPluginViewController(QObject* parent = nullptr);

    void viewWillBecomeActive(PLRModalViewController* modal) override;
    void primaryActionWasSelected(PLRModalViewController* modal) override;
    void secondaryActionWasSelected(PLRModalViewController* modal) override;
    void tertiaryActionWasSelected(PLRModalViewController* modal) override;
    bool shouldPresentTertiaryAction(PLRModalViewController*) override { return m_checkButtonClickCount > 2; }
    std::optional<QString> titleForPrimaryAction(PLRModalViewController*) override { return QStringLiteral("Check"); }
    std::optional<QString> titleForSecondaryAction(PLRModalViewController*) override { return QStringLiteral("Back"); }
    std::optional<QString> titleForTertiaryAction(PLRModalViewController*) override
    {
        return QStringLiteral("Continue Without Plug-in");
    }
    std::optional<QString> defaultModalButtonActionTitle(PLRModalViewController*) override;
    void primaryActionForErrorWasClicked(PLRModalViewController* modal) override;

    void checkPluginExistance();
    void skipPluginAction();
    void watchViewAction();

    qint64 checkCount() const { return m_checkCount; }
    qint64 checkButtonClickCount() const { return m_checkButtonClickCount; }
    Pellora_Publish::PLRLinkButton* noPluginLink() const { return m_noPluginLink; }

protected:
    platform::ui::View* loadView() override;
    void webServiceManagerStateChangeNotification(const QString& state, const QString& event,
                                                  const QVariantMap& userInfo) override;

private:
    QPointer<Pellora_Publish::PLRLinkButton> m_noPluginLink;
    bool m_haveBailed = false;
    bool m_hasChecked = false;
    qint64 m_checkCount = 0;
    qint64 m_checkButtonClickCount = 0;
    // Answers of an earlier series (before "Back" or a new activation) are dropped.
    quint64 m_series = 0;
};

// Click-to-copy view of the access key: hovering tells what a click does, a click copies.
class PLRSecretCopyView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRSecretCopyView(QWidget* parent = nullptr);
    platform::ui::TextField* infoLabel() const { return m_infoLabel; }
    platform::ui::TextField* copyLabel() const { return m_copyLabel; }

    void updateTrackingAreas() override;
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;

private:
    void showInfo(const QString& text, double delay);
    QPointer<platform::ui::TextField> m_infoLabel;
    QPointer<platform::ui::TextField> m_copyLabel;
    QString m_prevInfoText;
    bool m_tracking = false;
    std::vector<platform::Cancellable> m_steps;
};

class PLRPublishSecretViewController : public PLRPublishSetupPage {
    Q_OBJECT
public:
    explicit PLRPublishSecretViewController(QObject* parent = nullptr);

    void viewWillBecomeActive(PLRModalViewController* modal) override;
    void primaryActionWasSelected(PLRModalViewController* modal) override;
    void secondaryActionWasSelected(PLRModalViewController* modal) override;
    std::optional<QString> titleForPrimaryAction(PLRModalViewController*) override { return QStringLiteral("Check"); }
    std::optional<QString> titleForSecondaryAction(PLRModalViewController*) override { return QStringLiteral("Back"); }
    void primaryActionForErrorWasClicked(PLRModalViewController* modal) override;

    void checkSecretStatus();
    void fetchSecretAndPresent();
    void watchViewAction();

    platform::ui::TextField* secretLabel() const;
    PLRSecretCopyView* secretCopyView() const { return m_copyView; }
    qint64 checkCount() const { return m_checkCount; }

protected:
    platform::ui::View* loadView() override;

private:
    QPointer<PLRSecretCopyView> m_copyView;
    bool m_haveBailed = false;
    bool m_hasChecked = false;
    bool m_fetchingSecret = false;
    qint64 m_checkCount = 0;
    quint64 m_series = 0;
};

class PLRPublishDefaultViewController : public PLRPublishSetupPage {
    Q_OBJECT
public:
    explicit PLRPublishDefaultViewController(QObject* parent = nullptr);

    void viewWillBecomeActive(PLRModalViewController* modal) override;
    void primaryActionWasSelected(PLRModalViewController* modal) override;
    void secondaryActionWasSelected(PLRModalViewController* modal) override;
    std::optional<QString> titleForPrimaryAction(PLRModalViewController*) override { return QStringLiteral("Update"); }
    std::optional<QString> titleForSecondaryAction(PLRModalViewController*) override { return QStringLiteral("Back"); }

    PLRPopupButton* categoryPopUpButton() const { return m_categoryPopUpButton; }
    PLRCheckboxButton* autoPublishButton() const { return m_autoPublishButton; }

protected:
    platform::ui::View* loadView() override;
    void webServiceManagerStateChangeNotification(const QString& state, const QString& event,
                                                  const QVariantMap& userInfo) override;

private:
    QPointer<PLRPopupButton> m_categoryPopUpButton;
    QPointer<PLRCheckboxButton> m_autoPublishButton;
    bool m_refreshing = false;
    bool m_waiting = false;
    bool m_succeeded = false;
};

// ---- around publishing ----

class PLRFirstPostCompletedViewController : public PLRPublishSetupPage {
    Q_OBJECT
public:
    explicit PLRFirstPostCompletedViewController(QObject* parent = nullptr);

    // When the page is about to show: the help for the user's kind of website.
    void viewWillBecomeActive(PLRModalViewController* modal) override;
    void viewWillAppear() override;
    void primaryActionWasSelected(PLRModalViewController* modal) override;
    bool shouldPresentSecondaryAction(PLRModalViewController*) override { return false; }
    std::optional<QString> titleForPrimaryAction(PLRModalViewController*) override { return QStringLiteral("Done"); }

    PLRHyperLinkView* hyperLink() const { return m_hyperLink; }
    bool hideForWordPress() const { return m_hideForWordPress; }
    bool hideForSquareSpace() const { return m_hideForSquareSpace; }

protected:
    platform::ui::View* loadView() override;

private:
    QPointer<PLRHyperLinkView> m_hyperLink;
    QPointer<QWidget> m_wordPressHelp;
    QPointer<QWidget> m_squareSpaceHelp;
    bool m_hideForWordPress = false;
    bool m_hideForSquareSpace = false;
};

class PLRPublishGuttenburgViewController : public PLRPublishSetupPage {
    Q_OBJECT
public:
    explicit PLRPublishGuttenburgViewController(QObject* parent = nullptr);

    void viewWillBecomeActive(PLRModalViewController* modal) override;
    void primaryActionWasSelected(PLRModalViewController* modal) override;
    void secondaryActionWasSelected(PLRModalViewController* modal) override;
    std::optional<QString> titleForPrimaryAction(PLRModalViewController*) override { return QStringLiteral("Check"); }
    std::optional<QString> titleForSecondaryAction(PLRModalViewController*) override { return QStringLiteral("Back"); }
    void primaryActionForErrorWasClicked(PLRModalViewController* modal) override;

    void skipGuttenburgAction();
    void whyGuttenburgAction();

protected:
    platform::ui::View* loadView() override;
    void webServiceManagerStateChangeNotification(const QString& state, const QString& event,
                                                  const QVariantMap& userInfo) override;

private:
    bool m_refreshing = false;
    bool m_skipping = false;
};

class PLRPublishChoiceViewController : public PLRPublishSetupPage {
    Q_OBJECT
public:
    explicit PLRPublishChoiceViewController(QObject* parent = nullptr);

    // When the page is about to show: styled by whether publishing is the user's first choice.
    void viewWillBecomeActive(PLRModalViewController* modal) override;
    void viewWillAppear() override;
    void publishAction();
    void exportAction();

    platform::ui::TextField* mainTitleLabel() const { return m_mainTitleLabel; }
    platform::ui::TextField* secondaryTitleLabel() const { return m_secondaryTitleLabel; }
    platform::ui::Box* publishView() const { return m_publishView; }
    platform::ui::Box* exportView() const { return m_exportView; }
    PLRGradientButton* publishButton() const { return m_publishButton; }
    PLRGradientButton* exportButton() const { return m_exportButton; }

protected:
    platform::ui::View* loadView() override;

private:
    bool publishingPrimary() const;
    QPointer<platform::ui::TextField> m_mainTitleLabel;
    QPointer<platform::ui::TextField> m_secondaryTitleLabel;
    QPointer<platform::ui::Box> m_publishView;
    QPointer<platform::ui::Box> m_exportView;
    QPointer<PLRGradientButton> m_publishButton;
    QPointer<PLRGradientButton> m_exportButton;
};
