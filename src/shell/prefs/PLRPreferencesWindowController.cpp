#include "shell/prefs/PLRPreferencesWindowController.h"

#include "shell/AppDelegate.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "platform/Log.h"
#include "platform/Storyboard.h"
#include "platform-ui/Fonts.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRUpdater.h"
#include "shell/modal/PLRModalManager.h"
#include "services/web-services/PLRWebServicePublisher.h"
#include "services/web-services/PLRWebServiceUser.h"
#include "services/web-services/PLRWebServiceUserManager.h"

#include <QKeyEvent>
#include <QLineEdit>

#include <cmath>

using namespace platform::ui;

namespace {

constexpr double kWidth = 520.0;
constexpr double kTabHeight = 300.0;
constexpr double kToolbarHeight = 56.0;

PLRWebServiceUserManager* userManager()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    return session ? qobject_cast<PLRWebServiceUserManager*>(session->userServiceManager()) : nullptr;
}

TextField* label(View* parent, const QString& text, const QRectF& frame, bool bold = false)
{
    auto* field = new TextField(parent);
    field->setStringValue(text);
    field->setFont(systemFont(12, bold ? FontWeight::Bold : FontWeight::Regular));
    field->setFrame(frame);
    return field;
}

PLRCheckboxButton* checkBox(View* parent, const QString& title, const QRectF& frame, std::function<void()> action)
{
    auto* box = new PLRCheckboxButton(parent);
    box->setTitle(title);
    box->setFrame(frame);
    box->setAction([action = std::move(action)](Control*) { action(); });
    return box;
}

Button* button(View* parent, const QString& title, const QRectF& frame, std::function<void()> action)
{
    auto* b = Button::withTitle(title, nullptr, [action = std::move(action)](Control*) { action(); }, parent);
    b->setFrame(frame);
    return b;
}

} // namespace

// ---------------------------------------------------------------- view controller

PLRPreferencesViewController::PLRPreferencesViewController(QObject* parent) : PLRViewController(parent) {}

View* PLRPreferencesViewController::loadView()
{
    auto* root = new View;
    root->resize(int(kWidth), int(kTabHeight));

    // General.
    m_generalTab = new View(root);
    m_generalTab->setIdentifier(QLatin1String(kPLRPreferencesGeneralTab));
    m_generalTab->setFrame(root->bounds());
    View* g = m_generalTab;
    label(g, QStringLiteral("Updates"), QRectF(30, 250, 140, 18), true);
    m_generalAutoUpdateButton = checkBox(g, QStringLiteral("Download updates automatically"), QRectF(180, 248, 300, 20),
                                         [this] { generalAutoUpdateAction(); });
    label(g, QStringLiteral("New posts"), QRectF(30, 206, 140, 18), true);
    label(g, QStringLiteral("Padding"), QRectF(180, 206, 100, 18));
    m_generalPaddingTextField = new TextField(g);
    m_generalPaddingTextField->setFrame(QRectF(290, 202, 120, 24));
    m_generalPaddingTextField->setEditable(true);
    m_generalPaddingTextField->setDrawsBackground(true);
    QObject::connect(m_generalPaddingTextField->editor(), &QLineEdit::editingFinished, this, [this] { generalPaddingAction(); });
    label(g, QStringLiteral("Background"), QRectF(180, 170, 100, 18));
    m_generalColourWell = new PLRColorWell(g);
    m_generalColourWell->setFrame(QRectF(290, 164, 44, 26));
    m_generalColourWell->setAction([this](Control*) { generalColourAction(); });
    m_generalImportSubFoldersButton = checkBox(g, QStringLiteral("Include photos in sub-folders"), QRectF(180, 130, 300, 20),
                                               [this] { generalSubfolderAction(); });

    // Account.
    m_accountTab = new View(root);
    m_accountTab->setIdentifier(QLatin1String(kPLRPreferencesAccountTab));
    m_accountTab->setFrame(root->bounds());
    View* a = m_accountTab;
    label(a, QStringLiteral("Name"), QRectF(30, 250, 140, 18), true);
    m_userName = label(a, QString(), QRectF(180, 250, 310, 18));
    label(a, QStringLiteral("E-mail"), QRectF(30, 224, 140, 18), true);
    m_userEmail = label(a, QString(), QRectF(180, 224, 310, 18));
    label(a, QStringLiteral("Publishing"), QRectF(30, 190, 140, 18), true);
    m_publisherStatus = label(a, QStringLiteral("-"), QRectF(180, 190, 310, 18));
    m_domainNameCaption = label(a, QStringLiteral("Website"), QRectF(30, 164, 140, kDomainRowHeight), true);
    m_domainNameLabel = label(a, QString(), QRectF(180, 164, 310, kDomainRowHeight));
    m_domainHostCaption = label(a, QStringLiteral("Type"), QRectF(30, 140, 140, kDomainRowHeight), true);
    m_domainHostLabel = label(a, QString(), QRectF(180, 140, 310, kDomainRowHeight));
    m_updatePublishingButton = button(a, QStringLiteral("Update publishing details"), QRectF(180, 96, 220, 28),
                                      [this] { showWordpressDetails(); });

    // Backup.
    m_backupTab = new View(root);
    m_backupTab->setIdentifier(QLatin1String(kPLRPreferencesBackupTab));
    m_backupTab->setFrame(root->bounds());
    View* b = m_backupTab;
    m_backupLocalDatabase = checkBox(b, QStringLiteral("Back up my posts automatically every day"), QRectF(30, 250, 440, 20),
                                     [this] { backupLocalDatabaseAction(); });
    m_backupLocationView = new View(b);
    m_backupLocationView->setFrame(QRectF(30, 190, 460, 50));
    label(m_backupLocationView, QStringLiteral("Backup folder"), QRectF(0, 28, 140, 18), true);
    m_backupDatabaseLocation = label(m_backupLocationView, QStringLiteral("No folder chosen"), QRectF(0, 6, 330, 18));
    button(m_backupLocationView, QStringLiteral("Choose..."), QRectF(350, 2, 110, 28), [this] { selectBackupDatabaseLocation(); });
    label(b, QStringLiteral("Restore"), QRectF(30, 140, 140, 18), true);
    button(b, QStringLiteral("Import Backup..."), QRectF(30, 104, 160, 28), [this] { importBackup(); });

    m_accountTab->hide();
    m_backupTab->hide();
    return root;
}

void PLRPreferencesViewController::viewWillAppear()
{
    view();
    QString first, last, email;
    if (PLRWebServiceUserManager* manager = userManager())
        if (PLRWebServiceUserPtr user = manager->remoteUser()) {
            first = user->firstName();
            last = user->lastName();
            email = user->email();
        }
    m_userName->setStringValue(QStringLiteral("%1 %2").arg(first, last));
    m_userEmail->setStringValue(email);
}

void PLRPreferencesViewController::selectTabIdentifier(const QString& identifier)
{
    view();
    const QList<View*> tabs{m_generalTab.data(), m_accountTab.data(), m_backupTab.data()};
    bool known = false;
    for (View* tab : tabs)
        known = known || tab->identifier() == identifier;
    if (!known) {
        PLR_LOG_WARN(QStringLiteral("The preferences have no tab \"%1\"").arg(identifier));
        return;
    }
    m_selectedTab = identifier;
    for (View* tab : tabs)
        tab->setVisible(tab->identifier() == identifier);
    if (identifier == m_generalTab->identifier())
        ensureGeneralTab();
    else if (identifier == m_accountTab->identifier())
        ensureAccountTab();
    else if (identifier == m_backupTab->identifier())
        ensureBackup();
}

void PLRPreferencesViewController::ensureGeneralTab()
{
    view();
    PLRStandardUpdaterController* updates = PLRUpdater::updateController();
    m_generalAutoUpdateButton->setState(updates && updates->updater()->automaticallyDownloadsUpdates() ? Button::StateOn
                                                                                                      : Button::StateOff);
    m_generalPaddingTextField->setStringValue(QString::asprintf("%f", PLRDefaults::defaultPadding()));
    const QColor colour = PLRDefaults::defaultBackgroundColour();
    m_generalColourWell->setColor(Color(colour.redF(), colour.greenF(), colour.blueF(), colour.alphaF()));
    m_generalImportSubFoldersButton->setState(PLRDefaults::defaultIncludeSubfolders() ? Button::StateOn : Button::StateOff);
}

void PLRPreferencesViewController::generalAutoUpdateAction()
{
    if (PLRStandardUpdaterController* updates = PLRUpdater::updateController())
        updates->updater()->setAutomaticallyDownloadsUpdates(m_generalAutoUpdateButton->state() == Button::StateOn);
}

void PLRPreferencesViewController::generalPaddingAction()
{
    // Only a number that is not negative is a padding; anything else keeps the stored one.
    const QString text = m_generalPaddingTextField->stringValue().trimmed();
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0.0) {
        PLR_LOG_WARN(QStringLiteral("\"%1\" is not a padding; the padding stays %2").arg(text).arg(PLRDefaults::defaultPadding()));
        m_generalPaddingTextField->setStringValue(QString::asprintf("%f", PLRDefaults::defaultPadding()));
        return;
    }
    PLRDefaults::setDefaultPadding(double(float(value)));
    m_generalPaddingTextField->setStringValue(QString::asprintf("%f", PLRDefaults::defaultPadding()));
}

void PLRPreferencesViewController::generalColourAction()
{
    PLRDefaults::setDefaultColour(m_generalColourWell->color().toQColor());
}

void PLRPreferencesViewController::generalSubfolderAction()
{
    PLRDefaults::setDefaultIncludeSubfolders(m_generalImportSubFoldersButton->state() == Button::StateOn);
}

void PLRPreferencesViewController::setDomainRowsHeight(double height)
{
    m_domainRowsHeight = height;
    for (TextField* row : {m_domainNameCaption.data(), m_domainNameLabel.data(), m_domainHostCaption.data(), m_domainHostLabel.data()}) {
        const QRectF f = row->frame();
        row->setFrame(QRectF(f.x(), f.y(), f.width(), height));
        row->setVisible(height > 0.0);
    }
}

void PLRPreferencesViewController::ensureAccountTab()
{
    view();
    PLRWebServicePublisherPtr publisher;
    if (PLRWebServiceUserManager* manager = userManager())
        publisher = manager->remotePublisher();
    if (!publisher) {
        m_publisherStatus->setStringValue(QStringLiteral("-"));
        m_updatePublishingButton->setTitle(QStringLiteral("Update publishing details"));
        setDomainRowsHeight(kDomainRowHeight);
        m_domainNameLabel->setStringValue(QStringLiteral("Not Configured"));
        m_domainHostLabel->setStringValue(QStringLiteral("Not Configured"));
        return;
    }
    m_publisherStatus->setStringValue(PLRWebServicePublisher::errorStringForStatus(publisher->status()));
    const bool unset = publisher->type() == -1;
    m_updatePublishingButton->setTitle(unset ? QStringLiteral("Setup Publishing") : QStringLiteral("Update publishing details"));
    setDomainRowsHeight(unset ? 0.0 : kDomainRowHeight);
    m_domainNameLabel->setStringValue(publisher->host());
    m_domainHostLabel->setStringValue(publisher->typeName());
}

void PLRPreferencesViewController::showDomainDetails()
{
    showWordpressDetails();
}

void PLRPreferencesViewController::showWordpressDetails()
{
    QPointer<PLRPreferencesViewController> self(this);
    PLRModalManager::presentPublisherWorkflow(true, [self](qint64) {
        if (self)
            self->ensureAccountTab();
    });
}

void PLRPreferencesViewController::ensureBackup()
{
    view();
    const QString path = PLRDefaults::exportDatabasePath();
    if (!path.isEmpty())
        m_backupDatabaseLocation->setStringValue(path);
    const bool on = PLRDefaults::shouldExportDatabase();
    m_backupLocalDatabase->setState(on ? Button::StateOn : Button::StateOff);
    m_backupLocationView->setHidden(!on);
}

void PLRPreferencesViewController::backupLocalDatabaseAction()
{
    if (m_backupLocalDatabase->state() != Button::StateOn) {
        m_backupLocationView->setHidden(true);
        PLRDefaults::setShouldExportDatabase(false);
        return;
    }
    if (PLRDefaults::exportDatabasePath().isEmpty())
        PLRPersistantExporter::setExportDirectory();
    const QString path = PLRDefaults::exportDatabasePath();
    PLRDefaults::setShouldExportDatabase(!path.isEmpty());
    m_backupLocalDatabase->setState(path.isEmpty() ? Button::StateOff : Button::StateOn);
    if (!path.isEmpty())
        m_backupDatabaseLocation->setStringValue(path);
    m_backupLocationView->setHidden(path.isEmpty());
}

void PLRPreferencesViewController::selectBackupDatabaseLocation()
{
    PLRPersistantExporter::setExportDirectory();
    const QString path = PLRDefaults::exportDatabasePath();
    if (!path.isEmpty())
        m_backupDatabaseLocation->setStringValue(path);
}

void PLRPreferencesViewController::importBackup()
{
    if (AppDelegate* app = AppDelegate::shared())
        app->importBackupFrom(view()->window());
}

// ---------------------------------------------------------------- window controller

PLRPreferencesWindowController::PLRPreferencesWindowController(QObject* parent) : WindowController(nullptr, parent) {}

PLRPreferencesWindowController::~PLRPreferencesWindowController()
{
    if (isWindowLoaded())
        window()->setDelegate(nullptr);
}

std::unique_ptr<Window> PLRPreferencesWindowController::loadWindow()
{
    auto window = std::make_unique<Window>(QRectF(0, 0, kWidth, kTabHeight + kToolbarHeight),
                                           WindowStyleTitled | WindowStyleClosable | WindowStyleMiniaturizable);
    window->setTitle(QStringLiteral("Preferences"));
    window->setBackgroundColor(Color::white());
    return window;
}

bool PLRPreferencesWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window() && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape
        && static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        window()->performClose();
        return true;
    }
    return WindowController::eventFilter(watched, event);
}

void PLRPreferencesWindowController::windowDidLoad()
{
    Window* w = window();
    w->setDelegate(this);
    // Escape closes the window, as it does any settings window (the fields leave it to us).
    w->installEventFilter(this);
    View* content = w->contentView();
    m_content = new PLRPreferencesViewController(this);
    View* tabs = m_content->view();
    tabs->setParent(content);
    tabs->setFrame(QRectF(0, 0, kWidth, kTabHeight));
    tabs->show();
    const QList<std::pair<const char*, QString>> items{{kPLRPreferencesGeneralTab, QStringLiteral("General")},
                                                       {kPLRPreferencesAccountTab, QStringLiteral("Account")},
                                                       {kPLRPreferencesBackupTab, QStringLiteral("Backup")}};
    double x = (kWidth - items.size() * 96.0) / 2;
    for (const auto& [identifier, title] : items) {
        auto* item = Button::withTitle(title, this, [this](Control* sender) { changeTab(static_cast<Button*>(sender)); }, content);
        item->setIdentifier(QLatin1String(identifier));
        item->setBordered(false);
        item->setButtonType(Button::ButtonType::Radio);
        item->setFrame(QRectF(x, kTabHeight + 12, 88, 32));
        m_toolbarItems << item;
        x += 96.0;
    }
    changeTabForIdentifier(QLatin1String(kPLRPreferencesGeneralTab));
    w->center();
}

Button* PLRPreferencesWindowController::toolbarItem(const QString& identifier) const
{
    for (const auto& item : m_toolbarItems)
        if (item && item->identifier() == identifier)
            return item;
    return nullptr;
}

void PLRPreferencesWindowController::changeTabForIdentifier(const QString& identifier)
{
    window();
    if (!toolbarItem(identifier)) {
        PLR_LOG_WARN(QStringLiteral("The preferences have no tab \"%1\"").arg(identifier));
        return;
    }
    m_selected = identifier;
    for (const auto& item : m_toolbarItems)
        if (item) {
            item->setState(item->identifier() == identifier ? Button::StateOn : Button::StateOff);
            item->setBordered(item->identifier() == identifier);
        }
    m_content->selectTabIdentifier(identifier);
}

void PLRPreferencesWindowController::changeTab(Button* item)
{
    if (item)
        changeTabForIdentifier(item->identifier());
}

void PLRPreferencesWindowController::windowDidBecomeKey(Window*)
{
    if (!m_selected.isEmpty())
        changeTabForIdentifier(m_selected);
}

void PLRPreferencesWindowController::registerScene()
{
    platform::Storyboard::registerScene(QLatin1String(kPLRSettingsStoryboard), QLatin1String(kPLRPreferencesWindowControllerIdentifier),
                                        [] { return new PLRPreferencesWindowController; });
}
