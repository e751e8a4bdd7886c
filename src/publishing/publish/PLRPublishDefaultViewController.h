#pragma once

// The website's defaults for new posts: their category and whether they publish at once.

#include "publishing/publish/PLRPublishSetupPage.h"
#include "controls/PLRCheckboxButton.h"
#include "controls/PLRPopupButton.h"

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
