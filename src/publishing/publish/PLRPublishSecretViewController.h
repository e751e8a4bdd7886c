#pragma once

// Shows the access key the website's plug-in asks for, and checks that it was entered.

#include "publishing/publish/PLRPublishSetupPage.h"
#include "publishing/publish/PLRSecretCopyView.h"
#include "platform-ui/Controls.h"

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
