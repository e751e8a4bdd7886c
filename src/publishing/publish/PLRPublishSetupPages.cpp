#include "publishing/publish/PLRPublishSetupPages.h"

#include "controls/PLRModalOverlayWindow.h"
#include "platform/Log.h"
#include "platform/Storyboard.h"
#include "platform-ui/Images.h"
#include "publishing/publish/PLRPublishChoiceViewController.h"
#include "publishing/publish/PLRPublishDefaultViewController.h"
#include "publishing/publish/PLRPublishGuttenburgViewController.h"
#include "publishing/publish/PLRPublishPluginViewController.h"
#include "publishing/publish/PLRPublishSecretViewController.h"
#include "publishing/publish/PLRPublishSetupPageSupport.h"
#include "publishing/publish/PLRPublishTypeSelectionViewController.h"
#include "publishing/publish/PLRFirstPostCompletedViewController.h"
#include "shell/modal/PLRModalView.h"

#include <algorithm>
#include <memory>

using namespace platform::ui;
using namespace PLRPublishSetupPageSupport;

namespace {

// A descriptor: its picture, credit and controller scene.
class SetupPageDescriptor : public PLRModalView {
public:
    SetupPageDescriptor(QString image, QString identifier, bool large = false)
        : m_image(std::move(image)), m_identifier(std::move(identifier)), m_large(large) {}
    QImage image() const override { return namedImage(m_image); }
    bool imageCreditIsDark() const override { return false; }
    QString imageCredit() const override { return QStringLiteral("Pellora Studio"); }
    QUrl imageCreditURL() const override { return QUrl(QStringLiteral("https://pellora.com")); }
    bool requireLargeView() const override { return m_large; }

protected:
    std::unique_ptr<PLRModalPanelViewController> makeViewController() override
    {
        QObject* object = platform::Storyboard::instantiate(latin(kPLRModalWindowStoryboard), m_identifier);
        auto* controller = qobject_cast<PLRModalPanelViewController*>(object);
        if (!controller) {
            PLR_LOG_ERROR(QStringLiteral("The dialog page %1 cannot be made").arg(m_identifier));
            delete object;
            return nullptr;
        }
        return std::unique_ptr<PLRModalPanelViewController>(controller);
    }

private:
    QString m_image;
    QString m_identifier;
    bool m_large;
};

template <class Controller>
void registerPage(const char* descriptor, const char* image, const char* identifier, bool large = false)
{
    const QString storyboard = latin(kPLRModalWindowStoryboard);
    platform::Storyboard::registerScene(storyboard, latin(identifier), [] { return new Controller; });
    PLRModalView::registerPage(latin(descriptor), [image, identifier, large] {
        return std::make_unique<SetupPageDescriptor>(latin(image), latin(identifier), large);
    });
}

} // namespace

void PLRPublishSetupPages::install()
{
    registerPage<PLRPublishTypeSelectionViewController>(kPLRModalPublishTypeView, "modal_image_2",
                                                        "PLRPublishTypeSelectionViewController");
    registerPage<PLRPublishPluginViewController>(kPLRModalPublishPluginTypeView, "modal_image_3",
                                                 "PLRPublishPluginViewController");
    registerPage<PLRPublishSecretViewController>(kPLRModalPublishSecretView, "modal_image_4",
                                                 "PLRPublishSecretViewController");
    registerPage<PLRPublishDefaultViewController>(kPLRModalPublishDefaultsView, "modal_image_5",
                                                  "PLRPublishDefaultViewController");
    registerPage<PLRFirstPostCompletedViewController>(kPLRFirstPostCompletedView, "modal_image_8",
                                                      "PLRFirstPostCompletedViewController");
    registerPage<PLRPublishGuttenburgViewController>(kPLRModalGuttenburgView, "modal_image_6",
                                                     "PLRPublishGuttenburgViewController");
    registerPage<PLRPublishChoiceViewController>(kPLRModalPublishChoice, "modal_image_1",
                                                 "PLRPublishChoiceViewController", true);
}

const QStringList& PLRPublishSetupPages::wordPressThemes()
{
    static const QStringList themes = [] {
        QStringList names{QStringLiteral("Flothemes"), QStringLiteral("Showit"), QStringLiteral("Pro Photo")};
        std::sort(names.begin(), names.end());
        return names;
    }();
    return themes;
}
