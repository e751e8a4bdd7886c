#include "shell/PLRMigratorInfoViewController.h"

#include "store/migrators/PLRMigrator.h"
#include "store/migrators/PLRMigratorVersion.h"
#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/Resets.h"
#include "platform/Storyboard.h"
#include "platform-ui/Fonts.h"
#include "shell/PLRShellNotifications.h"
#include "shell/PLRWindowPlacement.h"

#include <QSet>
#include <QVBoxLayout>

#include <mutex>

using namespace platform::ui;

namespace {

constexpr double kBarWidth = 380.0;
constexpr double kBarHeight = 12.0;

// A progress bar placed by frame inside a host that the form's layout places.
QWidget* barHost(PLRProgressBar*& bar, QWidget* parent)
{
    auto* host = new QWidget(parent);
    host->setFixedSize(int(kBarWidth), int(kBarHeight));
    bar = new PLRProgressBar(QRectF(0, 0, kBarWidth, kBarHeight), host);
    return host;
}

QPointer<PLRMigratorWindowController>& kept()
{
    static QPointer<PLRMigratorWindowController> controller;
    return controller;
}

// A step handed over while no window shows yet. The window comes only when the migration still
// runs after the presentation delay, so a migration that finishes at once shows nothing; what
// the step changed meanwhile is applied when the window comes, so the window reads as it would
// have read from the start.
struct PendingStep {
    QPointer<PLRMigratorVersion> step;
    QList<QMetaObject::Connection> connections;
    std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();
    std::shared_ptr<QSet<QString>> changed = std::make_shared<QSet<QString>>();
    platform::Cancellable timer;
};

// Seconds a migration runs before its window shows.
constexpr double kPresentationDelay = 0.4;

void forget(PendingStep& pending)
{
    for (const QMetaObject::Connection& connection : std::as_const(pending.connections))
        QObject::disconnect(connection);
    pending.connections.clear();
    pending.step = nullptr;
    std::lock_guard lock(*pending.mutex);
    pending.changed->clear();
}

PendingStep& pendingStep()
{
    static PendingStep pending;
    static const bool joined = platform::resets::add([] {
        pending.timer.cancel();
        pending.timer = {};
        forget(pending);
    });
    (void)joined;
    return pending;
}

// Follows what the step changes until its window is made.
void holdBack(PLRMigratorVersion* version)
{
    PendingStep& pending = pendingStep();
    forget(pending);
    pending.step = version;
    using Signal = void (PLRMigratorVersion::*)();
    const std::pair<const char*, Signal> observed[] = {
        {"reasonTitle", &PLRMigratorVersion::reasonTitleChanged},
        {"infoTitle", &PLRMigratorVersion::infoTitleChanged},
        {"stageProgress", &PLRMigratorVersion::stageProgressChanged},
        {"stageMessage", &PLRMigratorVersion::stageMessageChanged},
        {"stageNeedsSubProgress", &PLRMigratorVersion::stageNeedsSubProgressChanged},
        {"subProgress", &PLRMigratorVersion::subProgressChanged},
        {"subMessage", &PLRMigratorVersion::subMessageChanged},
    };
    for (const auto& [name, signal] : observed) {
        const QString keyPath = QLatin1String(name);
        // Direct: a step may change its properties on another thread.
        pending.connections.append(QObject::connect(
            version, signal, version,
            [mutex = pending.mutex, changed = pending.changed, keyPath] {
                std::lock_guard lock(*mutex);
                changed->insert(keyPath);
            },
            Qt::DirectConnection));
    }
}

PLRMigratorWindowController* makeWindowController()
{
    if (!kept()) {
        kept() = qobject_cast<PLRMigratorWindowController*>(platform::Storyboard::instantiate(
            QLatin1String(kPLRMigratorStoryboard), QLatin1String(kPLRInitialSceneIdentifier)));
    }
    return kept();
}

// The presentation delay has passed: the held step gets its window if the migration still runs.
void presentHeldStep()
{
    PendingStep& pending = pendingStep();
    pending.timer = {};
    QPointer<PLRMigratorVersion> step = pending.step;
    QSet<QString> changed;
    {
        std::lock_guard lock(*pending.mutex);
        changed = *pending.changed;
    }
    forget(pending);
    if (!step || !PLRMigrator::isRunning())
        return;
    PLRMigratorWindowController* controller = makeWindowController();
    if (!controller)
        return;
    PLRMigratorInfoViewController* content = controller->contentViewController();
    content->setVersion(step);
    for (const QString& keyPath : PLRMigratorInfoViewController::observedKeyPaths())
        if (changed.contains(keyPath))
            content->observeValueForKeyPath(keyPath);
    controller->window()->makeKeyAndOrderFront();
}

} // namespace

PLRMigratorInfoViewController::PLRMigratorInfoViewController(QObject* parent) : PLRViewController(parent) {}

PLRMigratorInfoViewController::~PLRMigratorInfoViewController()
{
    *m_alive = false;
    rmObservers();
}

QStringList PLRMigratorInfoViewController::observedKeyPaths()
{
    return {QStringLiteral("reasonTitle"), QStringLiteral("infoTitle"), QStringLiteral("stageProgress"),
            QStringLiteral("stageMessage"), QStringLiteral("stageNeedsSubProgress"), QStringLiteral("subProgress"),
            QStringLiteral("subMessage")};
}

View* PLRMigratorInfoViewController::loadView()
{
    auto* root = new View;
    m_titleLabel = TextField::labelWithString(QStringLiteral("Updating Pellora"), root);
    m_titleLabel->setFont(boldSystemFont(16));
    m_messageLabel = TextField::labelWithString(QStringLiteral("Your posts are being prepared for this version."), root);
    m_messageLabel->setFont(systemFont(12));
    PLRProgressBar* stage = nullptr;
    PLRProgressBar* sub = nullptr;
    QWidget* stageHost = barHost(stage, root);
    QWidget* subHost = barHost(sub, root);
    m_stageProgressIndicator = stage;
    m_subProgressIndicator = sub;
    stage->setIndeterminate(false);
    sub->setIndeterminate(false);
    stage->setDoubleValue(0.0);
    sub->setDoubleValue(0.0);
    m_stageInfo = TextField::labelWithString(QString(), root);
    m_stageInfo->setFont(systemFont(11));
    m_subInfo = TextField::labelWithString(QString(), root);
    m_subInfo->setFont(systemFont(11));
    m_versionLabel = TextField::labelWithString(QStringLiteral("Version %1").arg(platform::bundle::version()), root);
    m_versionLabel->setFont(systemFont(10));
    m_versionLabel->setTextColor(Color(0.5, 0.5, 0.5));
    // The second bar and its text start hidden, as the window is laid out.
    subHost->setHidden(true);
    m_subProgressIndicator->setHidden(true);
    m_subInfo->setHidden(true);

    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(24, 20, 24, 16);
    column->setSpacing(6);
    column->addWidget(m_titleLabel);
    column->addWidget(m_messageLabel);
    column->addSpacing(10);
    column->addWidget(stageHost);
    column->addWidget(m_stageInfo);
    column->addWidget(subHost);
    column->addWidget(m_subInfo);
    column->addStretch(1);
    column->addWidget(m_versionLabel, 0, Qt::AlignRight);
    return root;
}

void PLRMigratorInfoViewController::rmObservers()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        QObject::disconnect(connection);
    m_connections.clear();
}

QVariant PLRMigratorInfoViewController::read(PLRMigratorVersion* version, const QString& keyPath)
{
    if (!version)
        return {};
    return version->property(keyPath.toLatin1().constData());
}

void PLRMigratorInfoViewController::setVersion(PLRMigratorVersion* version)
{
    view();
    if (m_version)
        rmObservers();
    m_version = version;
    if (!version)
        return;
    using Signal = void (PLRMigratorVersion::*)();
    const std::pair<const char*, Signal> observed[] = {
        {"reasonTitle", &PLRMigratorVersion::reasonTitleChanged},
        {"infoTitle", &PLRMigratorVersion::infoTitleChanged},
        {"stageProgress", &PLRMigratorVersion::stageProgressChanged},
        {"stageMessage", &PLRMigratorVersion::stageMessageChanged},
        {"stageNeedsSubProgress", &PLRMigratorVersion::stageNeedsSubProgressChanged},
        {"subProgress", &PLRMigratorVersion::subProgressChanged},
        {"subMessage", &PLRMigratorVersion::subMessageChanged},
    };
    for (const auto& [name, signal] : observed) {
        const QString keyPath = QLatin1String(name);
        std::weak_ptr<bool> alive = m_alive;
        QPointer<PLRMigratorVersion> source(version);
        // Direct: the value is read where it changed; a change made off the main thread is
        // carried over to the main thread with that value.
        auto changed = [this, alive, source, keyPath] {
            if (platform::isMainThread()) {
                if (alive.lock() && source && source == m_version)
                    observeValueForKeyPath(keyPath);
                return;
            }
            const QVariant value = read(source, keyPath);
            platform::dispatchMain([this, alive, source, keyPath, value] {
                if (alive.lock() && source && source == m_version)
                    apply(keyPath, value);
            });
        };
        m_connections.append(QObject::connect(version, signal, version, changed, Qt::DirectConnection));
    }
}

void PLRMigratorInfoViewController::observeValueForKeyPath(const QString& keyPath)
{
    static const QStringList order = {QStringLiteral("reasonTitle"), QStringLiteral("infoTitle"),
                                      QStringLiteral("stageProgress"), QStringLiteral("stageMessage"),
                                      QStringLiteral("subProgress"), QStringLiteral("subMessage"),
                                      QStringLiteral("stageNeedsSubProgress")};
    if (!order.contains(keyPath) || !m_version)
        return;
    apply(keyPath, read(m_version, keyPath));
}

void PLRMigratorInfoViewController::apply(const QString& keyPath, const QVariant& value)
{
    view();
    if (keyPath == QLatin1String("reasonTitle"))
        m_titleLabel->setStringValue(value.toString());
    else if (keyPath == QLatin1String("infoTitle"))
        m_messageLabel->setStringValue(value.toString());
    else if (keyPath == QLatin1String("stageProgress"))
        m_stageProgressIndicator->setDoubleValue(value.toDouble() * 100.0);
    else if (keyPath == QLatin1String("stageMessage"))
        m_stageInfo->setStringValue(value.toString());
    else if (keyPath == QLatin1String("subProgress"))
        m_subProgressIndicator->setDoubleValue(value.toDouble() * 100.0);
    else if (keyPath == QLatin1String("subMessage"))
        m_subInfo->setStringValue(value.toString());
    else if (keyPath == QLatin1String("stageNeedsSubProgress")) {
        const bool shown = value.toBool();
        m_subProgressIndicator->parentWidget()->setHidden(!shown);
        m_subProgressIndicator->setHidden(!shown);
        m_subInfo->setHidden(!shown);
    }
}

// ---------------------------------------------------------------- window

PLRMigratorWindowController::PLRMigratorWindowController(QObject* parent)
    : WindowController(nullptr, parent), m_content(new PLRMigratorInfoViewController(this))
{
}

std::unique_ptr<Window> PLRMigratorWindowController::loadWindow()
{
    auto window = std::make_unique<Window>(QRectF(0, 0, 440, 190), WindowStyleTitled);
    window->setTitle(QStringLiteral("Updating Pellora"));
    window->setBackgroundColor(Color::white());
    View* content = m_content->view();
    window->setContentView(content);
    PLRWindowPlacement::centreOnScreen(window.get());
    return window;
}

void PLRMigratorWindowController::install()
{
    platform::Storyboard::registerScene(QLatin1String(kPLRMigratorStoryboard), QLatin1String(kPLRInitialSceneIdentifier),
                                        [] { return new PLRMigratorWindowController; });
    PLRMigrator::setPresentVisualsHandler([](PLRMigratorVersion* version) {
        // Once the window shows, it follows each step from its start.
        if (kept()) {
            kept()->contentViewController()->setVersion(version);
            kept()->window()->makeKeyAndOrderFront();
            return;
        }
        holdBack(version);
        PendingStep& pending = pendingStep();
        if (!pending.timer.isValid())
            pending.timer = platform::Clock::shared().after(kPresentationDelay, nullptr, presentHeldStep);
    });
}

PLRMigratorWindowController* PLRMigratorWindowController::current()
{
    return kept();
}

void PLRMigratorWindowController::dismiss()
{
    PendingStep& pending = pendingStep();
    pending.timer.cancel();
    pending.timer = {};
    forget(pending);
    if (!kept())
        return;
    PLRMigratorWindowController* controller = kept();
    kept() = nullptr;
    controller->contentViewController()->setVersion(nullptr);
    controller->close();
    controller->deleteLater();
}
