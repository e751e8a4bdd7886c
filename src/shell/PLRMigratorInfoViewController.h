#pragma once

#include "controls/PLRProgressBar.h"
#include "store/migrators/PLRMigratorVersion.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Window.h"
#include "platform-ui/PLRViewController.h"

#include <QList>
#include <QMetaObject>
#include <QPointer>

#include <memory>

class PLRMigratorVersion;

// The progress view of the store migrator's window: it mirrors the titles, messages and progress
// (fractions 0 to 1) of the running migration step. Changes made on another thread are applied
// on the main thread.
class PLRMigratorInfoViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRMigratorInfoViewController(QObject* parent = nullptr);
    ~PLRMigratorInfoViewController() override;

    // Stops following the step held so far and follows this one (not owned). Nothing is applied
    // until the step first changes a property.
    void setVersion(PLRMigratorVersion* version);
    PLRMigratorVersion* version() const { return m_version; }
    void rmObservers();

    // Applies the held step's current value of one of the seven key paths; others are ignored.
    void observeValueForKeyPath(const QString& keyPath);
    static QStringList observedKeyPaths();

    platform::ui::TextField* titleLabel() const { return m_titleLabel; }
    platform::ui::TextField* messageLabel() const { return m_messageLabel; }
    PLRProgressBar* stageProgressIndicator() const { return m_stageProgressIndicator; }
    platform::ui::TextField* stageInfo() const { return m_stageInfo; }
    PLRProgressBar* subProgressIndicator() const { return m_subProgressIndicator; }
    platform::ui::TextField* subInfo() const { return m_subInfo; }
    platform::ui::TextField* versionLabel() const { return m_versionLabel; }

protected:
    platform::ui::View* loadView() override;

private:
    void apply(const QString& keyPath, const QVariant& value);
    static QVariant read(PLRMigratorVersion* version, const QString& keyPath);

    QPointer<PLRMigratorVersion> m_version;
    QList<QMetaObject::Connection> m_connections;
    QPointer<platform::ui::TextField> m_titleLabel;
    QPointer<platform::ui::TextField> m_messageLabel;
    QPointer<PLRProgressBar> m_stageProgressIndicator;
    QPointer<platform::ui::TextField> m_stageInfo;
    QPointer<PLRProgressBar> m_subProgressIndicator;
    QPointer<platform::ui::TextField> m_subInfo;
    QPointer<platform::ui::TextField> m_versionLabel;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// The migrator's window ("Migrator" storyboard, initial controller): shown while migration steps
// run, one step at a time. It comes only when the migration still runs 0.4 s after it began, so
// a migration that finishes at once shows no window.
class PLRMigratorWindowController : public platform::ui::WindowController {
    Q_OBJECT
public:
    explicit PLRMigratorWindowController(QObject* parent = nullptr);
    PLRMigratorInfoViewController* contentViewController() const { return m_content; }

    // Registers the scene and the migrator's visuals handler.
    static void install();
    // The window controller kept while the migrator shows a step (null otherwise).
    static PLRMigratorWindowController* current();
    // Closes and drops the kept window (a window still waiting for its delay never comes).
    static void dismiss();

protected:
    std::unique_ptr<platform::ui::Window> loadWindow() override;

private:
    PLRMigratorInfoViewController* m_content;
};
