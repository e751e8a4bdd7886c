#pragma once

// Checks that the Pellora plug-in is on the WordPress website.

#include "publishing/publish/PLRPublishSetupPage.h"
#include "controls/PLRLinkButtons.h"

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
    // The plain link: its underlined title is built once from its properties.
    PLRLinkButton* noPluginLink() const { return m_noPluginLink; }

protected:
    platform::ui::View* loadView() override;
    void webServiceManagerStateChangeNotification(const QString& state, const QString& event,
                                                  const QVariantMap& userInfo) override;

private:
    QPointer<PLRLinkButton> m_noPluginLink;
    bool m_haveBailed = false;
    bool m_hasChecked = false;
    qint64 m_checkCount = 0;
    qint64 m_checkButtonClickCount = 0;
    // Answers of an earlier series (before "Back" or a new activation) are dropped.
    quint64 m_series = 0;
};
