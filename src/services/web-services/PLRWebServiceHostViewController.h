#pragma once

#include "platform/Clock.h"

#include <QWidget>

class PLRPopupButton;
class QLabel;
class QLineEdit;
class QPushButton;

// Developer form for choosing the service host: the host type, the custom host's https flag,
// name and port, and the current host's address and socket status (refreshed every 10 s). The
// two choosers are the kit's pop-up buttons.
class PLRWebServiceHostViewController : public QWidget {
    Q_OBJECT

public:
    explicit PLRWebServiceHostViewController(QWidget* parent = nullptr);

    // Fills the controls from the settings and refreshes the status (also run when shown).
    void viewDidAppear();
    // Selects the host type of the chosen row (tags 1 development ... 4 custom).
    void saveType();
    // Stores the custom https flag, host name and port from the fields.
    void saveCustom();
    void refreshStatus();

    PLRPopupButton* hostTypePopUp() const { return m_hostTypePopUp; }
    PLRPopupButton* httpsPopUp() const { return m_httpsPopUp; }
    QLineEdit* hostField() const { return m_hostField; }
    QLineEdit* portField() const { return m_portField; }
    QLabel* serviceURLLabel() const { return m_serviceURLLabel; }
    QLabel* socketStatusLabel() const { return m_socketStatusLabel; }
    QPushButton* saveTypeButton() const { return m_saveTypeButton; }
    QPushButton* saveCustomButton() const { return m_saveCustomButton; }

    static constexpr double kRefreshIntervalSeconds = 10.0;

protected:
    void showEvent(QShowEvent* event) override;

private:
    static void selectTag(PLRPopupButton* popUp, int tag);

    PLRPopupButton* m_hostTypePopUp;
    PLRPopupButton* m_httpsPopUp;
    QLineEdit* m_hostField;
    QLineEdit* m_portField;
    QLabel* m_serviceURLLabel;
    QLabel* m_socketStatusLabel;
    QPushButton* m_saveTypeButton;
    QPushButton* m_saveCustomButton;
    platform::ClockTimer m_refreshTimer{this, [this] { refreshStatus(); }};
};
