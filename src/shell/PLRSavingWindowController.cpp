#include "shell/PLRSavingWindowController.h"

#include "controls/ColorWithHex.h"
#include "controls/PLRSpinner.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Fonts.h"
#include "shell/PLRWindowPlacement.h"

#include <QHBoxLayout>

using namespace platform::ui;

PLRSavingWindowController::PLRSavingWindowController(QObject* parent) : WindowController(nullptr, parent) {}

PLRSavingWindowController::~PLRSavingWindowController() = default;

std::unique_ptr<Window> PLRSavingWindowController::loadWindow()
{
    auto window = std::make_unique<Window>(QRectF(0, 0, 260, 80), WindowStyleTitled);
    window->setTitle(QStringLiteral("Saving"));
    window->setBackgroundColor(Color::white());
    auto* content = new View;
    auto* spinnerHost = new QWidget(content);
    spinnerHost->setFixedSize(24, 24);
    m_spinner = new PLRSpinner(QRectF(0, 0, 24, 24), spinnerHost);
    m_spinner->setSpinnerWidth(3.0);
    m_spinner->setForegroundColour(ColorWithHex::smb_blueColour());
    m_spinner->setup();
    auto* label = TextField::labelWithString(QStringLiteral("Saving your posts..."), content);
    label->setFont(systemFont(14));
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(20, 10, 20, 10);
    row->addWidget(spinnerHost);
    row->addSpacing(10);
    row->addWidget(label, 1);
    window->setContentView(content);
    PLRWindowPlacement::centreOnScreen(window.get());
    return window;
}

void PLRSavingWindowController::windowDidLoad()
{
    m_spinner->startAnimating();
}
