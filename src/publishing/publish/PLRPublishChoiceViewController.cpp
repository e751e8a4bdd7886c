#include "publishing/publish/PLRPublishChoiceViewController.h"

#include "controls/ColorWithHex.h"
#include "controls/PLRLinkButtons.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Fonts.h"
#include "publishing/publish/PLRPublishSetupPageSupport.h"
#include "shell/modal/PLRModalManager.h"
#include "shell/modal/PLRModalViewController.h"
#include "store/session/PLRDefaults.h"

#include <QVBoxLayout>

using namespace platform::ui;
using namespace PLRPublishSetupPageSupport;

PLRPublishChoiceViewController::PLRPublishChoiceViewController(QObject* parent) : PLRPublishSetupPage(parent) {}

View* PLRPublishChoiceViewController::loadView()
{
    auto* root = new View;
    root->resize(int(PLRModalViewController::kPageWidth), 785);
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(30, 30, 30, 30);
    column->setSpacing(14);
    m_mainTitleLabel = label(QString(), root, 20, FontWeight::Medium);
    column->addWidget(m_mainTitleLabel);
    auto choice = [&](QPointer<Box>& box, QPointer<PLRGradientButton>& button, const QString& text,
                      std::function<void()> action) {
        box = new Box(root);
        box->setBorderWidth(2.0);
        box->setCornerRadius(6.0);
        auto* inner = new QVBoxLayout(box);
        inner->setContentsMargins(16, 16, 16, 16);
        inner->addWidget(paragraph(text, box));
        button = new PLRGradientButton(box);
        button->setBorderRadius(5);
        button->setMinimumHeight(32);
        button->setTarget(this);
        button->setAction([action](Control*) { action(); });
        inner->addWidget(button);
        column->addWidget(box);
    };
    choice(m_publishView, m_publishButton, QStringLiteral("Publish your post straight to your website."),
           [this] { publishAction(); });
    m_secondaryTitleLabel = label(QString(), root, 16, FontWeight::Medium);
    column->addWidget(m_secondaryTitleLabel);
    choice(m_exportView, m_exportButton, QStringLiteral("Export your layout as images for social media and other sites."),
           [this] { exportAction(); });
    column->addStretch(1);
    return root;
}

bool PLRPublishChoiceViewController::publishingPrimary() const
{
    return representedData().value(latin(kPLRModalPublishingPrimaryKey)).toBool();
}

void PLRPublishChoiceViewController::viewWillBecomeActive(PLRModalViewController*)
{
    viewWillAppear();
}

void PLRPublishChoiceViewController::viewWillAppear()
{
    PLRPublishSetupPage::viewWillAppear();
    view();
    const bool primary = publishingPrimary();
    auto accent = [](double alpha) { return Color(243 / 255.0, 132 / 255.0, 142 / 255.0, alpha); };
    auto style = [](PLRGradientButton* button, bool blue, const QString& title) {
        if (blue) {
            button->setStartColour(ColorWithHex::gradientBlueStartColour());
            button->setEndColour(ColorWithHex::gradientBlueEndColour());
            button->setTitleColour(Color::white());
            button->setDrawBorder(false);
        } else {
            button->setStartColour(ColorWithHex::gradientGreyStartColour());
            button->setEndColour(ColorWithHex::gradientGreyEndColour());
            button->setTitleColour(Color::black());
            button->setDrawBorder(true);
            button->setBorderColour(Color(0, 0, 0, 0.2));
        }
        button->setTitle(title);
        button->awakeFromNib();
    };
    m_mainTitleLabel->setStringValue(primary ? QStringLiteral("Just so you know,") : QStringLiteral("Make the most of Pellora,"));
    m_secondaryTitleLabel->setStringValue(primary ? QStringLiteral("You can also Export") : QStringLiteral("Try Publish"));
    m_publishView->setBorderColor(accent(primary ? 1.0 : 0.4));
    m_exportView->setBorderColor(accent(primary ? 0.4 : 1.0));
    style(m_publishButton, primary, primary ? QStringLiteral("Continue Publishing") : QStringLiteral("Publish now"));
    style(m_exportButton, !primary, primary ? QStringLiteral("Show me") : QStringLiteral("Continue Export"));
    m_publishButton->setKeyEquivalent(primary ? QStringLiteral("\r") : QString());
    m_exportButton->setKeyEquivalent(primary ? QString() : QStringLiteral("\r"));
}

void PLRPublishChoiceViewController::publishAction()
{
    if (PLRModalViewController* modal = modalViewController())
        modal->moveToNextView();
}

void PLRPublishChoiceViewController::exportAction()
{
    PLRDefaults::setPublishExportOptionPanelPresented(true);
    PLRModalViewController* modal = modalViewController();
    if (!publishingPrimary()) {
        if (modal)
            modal->dismissModalWithSuccess(true);
        return;
    }
    if (modal)
        modal->dismissModalWithSuccess(false);
}
