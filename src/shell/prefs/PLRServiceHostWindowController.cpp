#include "shell/prefs/PLRServiceHostWindowController.h"

#include "platform/Storyboard.h"
#include "platform-ui/View.h"
#include "services/web-services/PLRWebServiceHostViewController.h"
#include "shell/prefs/PLRPreferencesWindowController.h"

#include <QVBoxLayout>

using namespace platform::ui;

namespace {
constexpr double kWidth = 460.0;
constexpr double kHeight = 300.0;
} // namespace

PLRServiceHostWindowController::PLRServiceHostWindowController(QObject* parent) : WindowController(nullptr, parent) {}

PLRServiceHostWindowController::~PLRServiceHostWindowController() = default;

std::unique_ptr<Window> PLRServiceHostWindowController::loadWindow()
{
    auto window = std::make_unique<Window>(QRectF(0, 0, kWidth, kHeight),
                                           WindowStyleTitled | WindowStyleClosable | WindowStyleMiniaturizable);
    window->setTitle(QStringLiteral("Service Host"));
    window->setBackgroundColor(Color::white());
    return window;
}

void PLRServiceHostWindowController::windowDidLoad()
{
    View* content = window()->contentView();
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(16, 12, 16, 12);
    m_form = new PLRWebServiceHostViewController(content);
    column->addWidget(m_form);
}

void PLRServiceHostWindowController::registerScene()
{
    platform::Storyboard::registerScene(QLatin1String(kPLRSettingsStoryboard),
                                        QLatin1String(kPLRServiceHostWindowControllerIdentifier),
                                        [] { return new PLRServiceHostWindowController; });
}
