#pragma once

// Where the website is and what it is built with (the kind, and for WordPress its theme).

#include "publishing/publish/PLRPublishSetupPage.h"
#include "controls/PLRErrorBox.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRSlidingButtonStack.h"
#include "platform-ui/Controls.h"

#include <QStringList>

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
