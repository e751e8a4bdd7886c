#include "services/web-services/PLRWebServiceHostViewController.h"

#include "controls/PLRPopupButton.h"
#include "platform/UserDefaults.h"
#include "services/web-services/PLRWebServiceHost.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const char* const kTypeForTag[] = {nullptr, PLRWebServiceHost_DEV, PLRWebServiceHost_STAGING,
                                   PLRWebServiceHost_PROD, PLRWebServiceHost_CUSTOM};
}

PLRWebServiceHostViewController::PLRWebServiceHostViewController(QWidget* parent)
    : QWidget(parent),
      m_hostTypePopUp(new PLRPopupButton(this)),
      m_httpsPopUp(new PLRPopupButton(this)),
      m_hostField(new QLineEdit(this)),
      m_portField(new QLineEdit(this)),
      m_serviceURLLabel(new QLabel(this)),
      m_socketStatusLabel(new QLabel(this)),
      m_saveTypeButton(new QPushButton(QStringLiteral("Save Type"), this)),
      m_saveCustomButton(new QPushButton(QStringLiteral("Save Custom"), this))
{
    m_hostTypePopUp->addItem(QStringLiteral("Development"), 1);
    m_hostTypePopUp->addItem(QStringLiteral("Staging"), 2);
    m_hostTypePopUp->addItem(QStringLiteral("Production"), 3);
    m_hostTypePopUp->addItem(QStringLiteral("Custom"), 4);
    m_httpsPopUp->addItem(QStringLiteral("http"), 0);
    m_httpsPopUp->addItem(QStringLiteral("https"), 1);
    m_portField->setPlaceholderText(QStringLiteral("none"));
    for (PLRPopupButton* popUp : {m_hostTypePopUp, m_httpsPopUp}) {
        popUp->setFixedHeight(int(PLRPopupButton::kHeight));
        popUp->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("Host type"), m_hostTypePopUp);
    layout->addRow(QString(), m_saveTypeButton);
    layout->addRow(QStringLiteral("Scheme"), m_httpsPopUp);
    layout->addRow(QStringLiteral("Host"), m_hostField);
    layout->addRow(QStringLiteral("Port"), m_portField);
    layout->addRow(QString(), m_saveCustomButton);
    layout->addRow(QStringLiteral("Service"), m_serviceURLLabel);
    layout->addRow(QStringLiteral("Socket"), m_socketStatusLabel);

    connect(m_saveTypeButton, &QPushButton::clicked, this, &PLRWebServiceHostViewController::saveType);
    connect(m_saveCustomButton, &QPushButton::clicked, this, &PLRWebServiceHostViewController::saveCustom);
}

void PLRWebServiceHostViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    viewDidAppear();
}

void PLRWebServiceHostViewController::selectTag(PLRPopupButton* popUp, int tag)
{
    popUp->selectItemWithTag(tag);
}

void PLRWebServiceHostViewController::viewDidAppear()
{
    const QString type = PLRWebServiceHost::effectiveHostType(PLRWebServiceHost::currentHostType());
    int tag = 4;
    for (int candidate = 1; candidate <= 3; ++candidate) {
        if (type == QLatin1String(kTypeForTag[candidate]))
            tag = candidate;
    }
    selectTag(m_hostTypePopUp, tag);
    PLRWebServiceHost& custom = PLRWebServiceHost::customHost();
    selectTag(m_httpsPopUp, custom.isHttps() ? 1 : 0);
    m_hostField->setText(custom.hostName());
    m_portField->setText(custom.port());
    m_refreshTimer.stop();
    refreshStatus();
}

void PLRWebServiceHostViewController::saveType()
{
    const qint64 tag = m_hostTypePopUp->selectedTag();
    if (tag >= 1 && tag <= 4)
        PLRWebServiceHost::setCurrentHostType(QString::fromLatin1(kTypeForTag[tag]));
    m_refreshTimer.stop();
    refreshStatus();
}

void PLRWebServiceHostViewController::saveCustom()
{
    PLRWebServiceHost::setCustomHTTPS(m_httpsPopUp->selectedTag() == 1);
    PLRWebServiceHost::setCustomHostName(m_hostField->text().trimmed());
    PLRWebServiceHost::setCustomPort(m_portField->text().trimmed());
}

void PLRWebServiceHostViewController::refreshStatus()
{
    PLRWebServiceHost& host = PLRWebServiceHost::currentHost();
    m_serviceURLLabel->setText(host.serviceURL().toString());
    m_socketStatusLabel->setText(host.socketConnected() ? QStringLiteral("Connected")
                                                        : QStringLiteral("Not Connected"));
    m_refreshTimer.start(kRefreshIntervalSeconds);
}
