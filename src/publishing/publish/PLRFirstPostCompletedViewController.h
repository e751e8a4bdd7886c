#pragma once

// Shown after the first post: where to find it on the kind of website the user has.

#include "publishing/publish/PLRPublishSetupPage.h"
#include "controls/PLRHyperLinkView.h"

#include <QWidget>

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
