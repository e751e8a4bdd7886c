#include "panels/inspector/PLRImageLinkViewController.h"

#include "panels/inspector/PLRPropertyViewController.h"
#include "platform-ui/Controls.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "shell/PLRShellNotifications.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

#include <utility>

using namespace platform::ui;

View* PLRImageLinkViewController::loadView()
{
    auto* root = new View;
    root->resize(260, 70);
    root->setMinimumWidth(260);
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(10, 10, 10, 10);
    m_field = new TextField(root);
    m_field->setEditable(true);
    m_field->setFixedHeight(24);
    m_field->setPlaceholderString(QStringLiteral("https://"));
    m_field->setIdentifier(QStringLiteral("imageClickOnUrlTextField"));
    column->addWidget(m_field);
    if (QLineEdit* editor = m_field->editor())
        connect(editor, &QLineEdit::returnPressed, this, [this] { didFinishAddingLink(); });
    auto* done = Button::withTitle(QStringLiteral("Add Link"), this, [this](Control*) { didFinishAddingLink(); }, root);
    done->setIdentifier(QStringLiteral("addLinkButton"));
    column->addWidget(done, 0, Qt::AlignRight);
    // Escape reaches the view from the field or the button on its way to the popover it closes.
    root->installEventFilter(this);
    return root;
}

void PLRImageLinkViewController::viewWillAppear()
{
    view();
    m_editing = true;
    m_openedWith = m_field->stringValue();
}

void PLRImageLinkViewController::viewDidDisappear()
{
    if (!std::exchange(m_editing, false))
        return;
    if (m_field && m_field->stringValue() != m_openedWith)
        didFinishAddingLink();
}

bool PLRImageLinkViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (isView(watched) && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel))
        m_editing = false;
    return PLRViewController::eventFilter(watched, event);
}

void PLRImageLinkViewController::didFinishAddingLink()
{
    view();
    m_editing = false;
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_IMAGELINK_DID_CHANGE), this,
                                                       {{QString::fromLatin1(kPLRImageLinkURLKey), m_field->stringValue()}});
    PLRAnalyticManager::coreAnalyticManager().fireAnalyticEvent(
        PLRAnalyticEvent::createEventWithTitle(QStringLiteral("added_hyperlink_on_image"), {}));
}
