#pragma once

// The service-host chooser's window (storyboard "Settings", identifier
// "PLRWebServiceHosstWindowController"): the host form in a small titled window, opened from
// the hidden "Service Host..." item and kept for the run.

#include "platform-ui/Window.h"
#include "services/web-services/PLRWebServiceHostViewController.h"

#include <QPointer>

inline constexpr auto kPLRServiceHostWindowControllerIdentifier = "PLRWebServiceHosstWindowController";

class PLRServiceHostWindowController : public platform::ui::WindowController {
    Q_OBJECT
public:
    explicit PLRServiceHostWindowController(QObject* parent = nullptr);
    ~PLRServiceHostWindowController() override;

    PLRWebServiceHostViewController* hostViewController() const { return m_form; }

    static void registerScene();

protected:
    std::unique_ptr<platform::ui::Window> loadWindow() override;
    void windowDidLoad() override;

private:
    QPointer<PLRWebServiceHostViewController> m_form;
};
