#pragma once

#include "platform-ui/Window.h"

#include <QPointer>
#include <QString>

#include <memory>

class PLRProgressBar;
namespace platform::ui { class TextField; }

// The small window shown while File > Export Backup copies the store: where the backup goes
// and how much of it is written. It stays above the window the export was started from.
class PLRBackupProgressWindowController : public platform::ui::WindowController {
    Q_OBJECT
public:
    explicit PLRBackupProgressWindowController(const QString& destination, QObject* parent = nullptr);
    ~PLRBackupProgressWindowController() override;

    // Bytes copied so far out of `total` (0 while the size is not known yet).
    void setProgress(qint64 done, qint64 total);
    double fraction() const { return m_fraction; }
    QString detailText() const;

    // Shows the export's progress through the store's exporter from now on.
    static void install();
    // The window of the export under way, or null.
    static PLRBackupProgressWindowController* shown();

protected:
    std::unique_ptr<platform::ui::Window> loadWindow() override;

private:
    QString m_destination;
    double m_fraction = 0.0;
    PLRProgressBar* m_bar = nullptr;
    platform::ui::TextField* m_detail = nullptr;
};
