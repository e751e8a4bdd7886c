#pragma once

#include "platform/Dispatch.h"
#include "platform-ui/Controls.h"
#include "platform-ui/View.h"

#include <QPointer>
#include <QString>

#include <vector>

// Click-to-copy view of the access key: hovering tells what a click does, a click copies.
class PLRSecretCopyView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRSecretCopyView(QWidget* parent = nullptr);
    platform::ui::TextField* infoLabel() const { return m_infoLabel; }
    platform::ui::TextField* copyLabel() const { return m_copyLabel; }

    void updateTrackingAreas() override;
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;

private:
    void showInfo(const QString& text, double delay);
    QPointer<platform::ui::TextField> m_infoLabel;
    QPointer<platform::ui::TextField> m_copyLabel;
    QString m_prevInfoText;
    bool m_tracking = false;
    std::vector<platform::Cancellable> m_steps;
};
