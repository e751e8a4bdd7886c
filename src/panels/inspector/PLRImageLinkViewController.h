#pragma once

#include "platform-ui/Controls.h"
#include "platform-ui/PLRViewController.h"

#include <QPointer>

// The popover in which a link address for a photo is typed; finishing records the analytics
// event "added_hyperlink_on_image" (links are applied through the property page's own field).
class PLRImageLinkViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRImageLinkViewController(QObject* parent = nullptr) : PLRViewController(parent) {}
    platform::ui::TextField* imageClickOnUrlTextField() const { return m_field; }
    void viewWillAppear() override;
    void didFinishAddingLink();
protected:
    platform::ui::View* loadView() override;
private:
    QPointer<platform::ui::TextField> m_field;
};
