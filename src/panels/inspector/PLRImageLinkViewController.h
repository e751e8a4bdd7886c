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
// "added_hyperlink_on_image". Editing ends by Return or "Add Link", or by the popover's closing
// any other way (a click elsewhere), which keeps a changed address as Return would; only Escape
// drops it.
class PLRImageLinkViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRImageLinkViewController(QObject* parent = nullptr) : PLRViewController(parent) {}
    platform::ui::TextField* imageClickOnUrlTextField() const { return m_field; }
    // Called with the field filled, as the popover opens; and as it has closed.
    void viewWillAppear() override;
    void viewDidDisappear() override;
    void didFinishAddingLink();
protected:
    platform::ui::View* loadView() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
private:
    QPointer<platform::ui::TextField> m_field;
    // Between the popover's opening and the end of its editing, with the address it opened on.
    bool m_editing = false;
    QString m_openedWith;
};
