#pragma once

// Asks for the Gutenberg editor on the WordPress website, or lets the user go on without it.

#include "publishing/publish/PLRPublishSetupPage.h"

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
