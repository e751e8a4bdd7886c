#pragma once

// Offers publishing and exporting side by side, styled by which one the user came for.

#include "publishing/publish/PLRPublishSetupPage.h"
#include "controls/PLRLinkButtons.h"
#include "platform-ui/Controls.h"

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
