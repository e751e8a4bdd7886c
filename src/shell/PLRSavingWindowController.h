#pragma once

#include "platform-ui/Window.h"

#include <memory>

class PLRSpinner;

// The small window shown while the quit save runs ("Main" storyboard, "SavingWindowController").
class PLRSavingWindowController : public platform::ui::WindowController {
    Q_OBJECT
public:
    explicit PLRSavingWindowController(QObject* parent = nullptr);
    ~PLRSavingWindowController() override;
protected:
    std::unique_ptr<platform::ui::Window> loadWindow() override;
    void windowDidLoad() override;
private:
    PLRSpinner* m_spinner = nullptr;
};
