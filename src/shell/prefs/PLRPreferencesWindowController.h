#pragma once

// The preferences window: a row of tab buttons (the toolbar) over three tabs. General sets what
// new posts start from (padding, background colour, sub-folders) and automatic update downloads;
// Account shows the signed-in user and the publishing set-up; Backup manages the automatic
// backup of the local store. Everything takes effect at once. Opened from the storyboard
// "Settings" as "PreferencesWindowController"; changeTabForIdentifier("backup") opens a tab.

#include "controls/PLRCheckboxButton.h"
#include "controls/PLRColorWell.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Window.h"
#include "platform-ui/PLRViewController.h"

#include <QColor>
#include <QPointer>

inline constexpr auto kPLRSettingsStoryboard = "Settings";
inline constexpr auto kPLRPreferencesWindowControllerIdentifier = "PreferencesWindowController";
inline constexpr auto kPLRPreferencesGeneralTab = "general";
inline constexpr auto kPLRPreferencesAccountTab = "account";
inline constexpr auto kPLRPreferencesBackupTab = "backup";

class PLRPreferencesViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRPreferencesViewController(QObject* parent = nullptr);

    static constexpr double kDomainRowHeight = 17.0;

    void viewWillAppear() override;
    void selectTabIdentifier(const QString& identifier);
    QString selectedTabIdentifier() const { return m_selectedTab; }

    void ensureGeneralTab();
    void ensureAccountTab();
    void ensureBackup();

    // General.
    void generalAutoUpdateAction();
    void generalPaddingAction();
    void generalColourAction();
    void generalSubfolderAction();
    // Account: both open the publishing set-up.
    void showDomainDetails();
    void showWordpressDetails();
    // Backup.
    void backupLocalDatabaseAction();
    void selectBackupDatabaseLocation();
    void importBackup();

    // The tab pages and controls.
    platform::ui::View* generalTab() const { return m_generalTab; }
    platform::ui::View* accountTab() const { return m_accountTab; }
    platform::ui::View* backupTab() const { return m_backupTab; }
    PLRCheckboxButton* generalAutoUpdateButton() const { return m_generalAutoUpdateButton; }
    platform::ui::TextField* generalPaddingTextField() const { return m_generalPaddingTextField; }
    PLRColorWell* generalColourWell() const { return m_generalColourWell; }
    PLRCheckboxButton* generalImportSubFoldersButton() const { return m_generalImportSubFoldersButton; }
    platform::ui::TextField* userName() const { return m_userName; }
    platform::ui::TextField* userEmail() const { return m_userEmail; }
    platform::ui::TextField* publisherStatus() const { return m_publisherStatus; }
    platform::ui::Button* updatePublishingButton() const { return m_updatePublishingButton; }
    platform::ui::TextField* domainNameLabel() const { return m_domainNameLabel; }
    platform::ui::TextField* domainHostLabel() const { return m_domainHostLabel; }
    // The height of the two domain rows (0 collapsed, 17 shown).
    double publishingDomainRowsHeight() const { return m_domainRowsHeight; }
    PLRCheckboxButton* backupLocalDatabase() const { return m_backupLocalDatabase; }
    platform::ui::View* backupLocationView() const { return m_backupLocationView; }
    platform::ui::TextField* backupDatabaseLocation() const { return m_backupDatabaseLocation; }

protected:
    platform::ui::View* loadView() override;

private:
    void setDomainRowsHeight(double height);

    QString m_selectedTab;
    double m_domainRowsHeight = kDomainRowHeight;
    QPointer<platform::ui::View> m_generalTab;
    QPointer<platform::ui::View> m_accountTab;
    QPointer<platform::ui::View> m_backupTab;
    QPointer<PLRCheckboxButton> m_generalAutoUpdateButton;
    QPointer<platform::ui::TextField> m_generalPaddingTextField;
    QPointer<PLRColorWell> m_generalColourWell;
    QPointer<PLRCheckboxButton> m_generalImportSubFoldersButton;
    QPointer<platform::ui::TextField> m_userName;
    QPointer<platform::ui::TextField> m_userEmail;
    QPointer<platform::ui::TextField> m_publisherStatus;
    QPointer<platform::ui::Button> m_updatePublishingButton;
    QPointer<platform::ui::TextField> m_domainNameCaption;
    QPointer<platform::ui::TextField> m_domainNameLabel;
    QPointer<platform::ui::TextField> m_domainHostCaption;
    QPointer<platform::ui::TextField> m_domainHostLabel;
    QPointer<PLRCheckboxButton> m_backupLocalDatabase;
    QPointer<platform::ui::View> m_backupLocationView;
    QPointer<platform::ui::TextField> m_backupDatabaseLocation;
};

class PLRPreferencesWindowController : public platform::ui::WindowController, public platform::ui::WindowDelegate {
    Q_OBJECT
public:
    explicit PLRPreferencesWindowController(QObject* parent = nullptr);
    ~PLRPreferencesWindowController() override;

    // Selects the toolbar item and shows (and refreshes) its tab.
    void changeTabForIdentifier(const QString& identifier);
    // The toolbar items' action.
    void changeTab(platform::ui::Button* item);
    QString selectedToolbarItemIdentifier() const { return m_selected; }
    platform::ui::Button* toolbarItem(const QString& identifier) const;
    PLRPreferencesViewController* contentViewController() const { return m_content; }

    // Window delegate.
    void windowDidBecomeKey(platform::ui::Window* window) override;

    static void registerScene();

protected:
    std::unique_ptr<platform::ui::Window> loadWindow() override;
    void windowDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PLRPreferencesViewController* m_content = nullptr;
    QList<QPointer<platform::ui::Button>> m_toolbarItems;
    QString m_selected;
};
