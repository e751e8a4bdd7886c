#pragma once

#include "shell/modal/PLRModalView.h"

#include <memory>

class PLRExportModalViewController;

// The export dialog as the one page of a multi-step modal ("PLRModalExportView"): the page's
// view is the dialog's; its primary button ("Done") closes the modal, the export starts from
// the dialog's own button.
class PLRModalExportPanelViewController : public PLRModalPanelViewController {
    Q_OBJECT
public:
    explicit PLRModalExportPanelViewController(QObject* parent = nullptr);
    ~PLRModalExportPanelViewController() override;
    PLRExportModalViewController* dialog() const { return m_dialog.get(); }

    void viewWillBecomeActive(PLRModalViewController* modal) override;
    void primaryActionWasSelected(PLRModalViewController* modal) override;
    bool shouldPresentSecondaryAction(PLRModalViewController*) override { return false; }
    std::optional<QString> titleForPrimaryAction(PLRModalViewController*) override { return QStringLiteral("Done"); }

protected:
    platform::ui::View* loadView() override;

private:
    std::unique_ptr<PLRExportModalViewController> m_dialog;
};

class PLRModalExportView : public PLRModalView {
public:
    static constexpr const char* kPageName = "PLRModalExportView";
    static void registerPage();
    // The picture column beside the dialog.
    QImage image() const override;
    bool imageCreditIsDark() const override { return false; }
    QString imageCredit() const override { return QStringLiteral("Pellora Studio"); }
    QUrl imageCreditURL() const override { return QUrl(QStringLiteral("https://pellora.com")); }
protected:
    std::unique_ptr<PLRModalPanelViewController> makeViewController() override;
};
