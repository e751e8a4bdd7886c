#pragma once

#include "platform-ui/Controls.h"
#include "platform-ui/PLRViewController.h"

#include <QPointer>

// Posted when the link popover's "Add Link" is pressed; the address typed is the user info's
// kPLRImageLinkURLKey.
inline constexpr char kPLR_NOTIFICATION_IMAGELINK_DID_CHANGE[] = "kPLR_NOTIFICATION_IMAGELINK_DID_CHANGE";
inline constexpr char kPLRImageLinkURLKey[] = "url";

// The popover in which a link address for a photo is typed; finishing posts
// kPLR_NOTIFICATION_IMAGELINK_DID_CHANGE with the address and records the analytics event
// "added_hyperlink_on_image".
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
