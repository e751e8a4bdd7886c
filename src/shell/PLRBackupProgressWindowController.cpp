#include "shell/PLRBackupProgressWindowController.h"

#include "controls/PLRProgressBar.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Fonts.h"
#include "platform/Resets.h"
#include "shell/PLRWindowPlacement.h"
#include "store/persistance-store/PLRPersistantExporter.h"

#include <QApplication>
#include <QFileInfo>
#include <QWindow>
#include <QLocale>
#include <QVBoxLayout>

using namespace platform::ui;

namespace {

// The window of the export under way (one at a time; a second export queues behind the first
// and takes the window over).
QPointer<PLRBackupProgressWindowController>& current()
{
    static QPointer<PLRBackupProgressWindowController> controller;
    static const bool joined = platform::resets::add([] {
        delete controller.data();
        controller = nullptr;
    });
    (void)joined;
    return controller;
}

} // namespace

PLRBackupProgressWindowController::PLRBackupProgressWindowController(const QString& destination, QObject* parent)
    : WindowController(nullptr, parent), m_destination(destination)
{
}

PLRBackupProgressWindowController::~PLRBackupProgressWindowController() = default;

std::unique_ptr<Window> PLRBackupProgressWindowController::loadWindow()
{
    auto window = std::make_unique<Window>(QRectF(0, 0, 420, 120), WindowStyleTitled);
    window->setTitle(QStringLiteral("Export Backup"));
    window->setBackgroundColor(Color::white());
    auto* content = new View;
    auto* title = TextField::labelWithString(QStringLiteral("Exporting your backup..."), content);
    title->setFont(boldSystemFont(14));
    auto* barHost = new QWidget(content);
    barHost->setFixedHeight(12);
    m_bar = new PLRProgressBar(QRectF(0, 0, 380, 12), barHost);
    m_bar->setIndeterminate(false);
    m_bar->setDoubleValue(m_fraction * 100.0);
    m_detail = TextField::labelWithString(detailText(), content);
    m_detail->setFont(systemFont(11));
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(20, 14, 20, 14);
    column->setSpacing(8);
    column->addWidget(title);
    column->addWidget(barHost);
    column->addWidget(m_detail);
    window->setContentView(content);
    PLRWindowPlacement::centreOnScreen(window.get());
    // It belongs to the window the export was started from (the main window when none of ours
    // is active): the window manager keeps it above that one, also when that one is clicked.
    Window* owner = qobject_cast<Window*>(QApplication::activeWindow());
    if (!owner || owner == window.get())
        owner = Application::mainWindow();
    if (owner && owner != window.get()) {
        window->winId();
        owner->winId();
        if (window->windowHandle() && owner->windowHandle())
            window->windowHandle()->setTransientParent(owner->windowHandle());
    }
    return window;
}

PLRBackupProgressWindowController* PLRBackupProgressWindowController::shown()
{
    return current();
}

QString PLRBackupProgressWindowController::detailText() const
{
    return QStringLiteral("To \"%1\" (%2 %)")
        .arg(QFileInfo(m_destination).absolutePath())
        .arg(int(m_fraction * 100.0 + 0.5));
}

void PLRBackupProgressWindowController::setProgress(qint64 done, qint64 total)
{
    m_fraction = total > 0 ? std::clamp(double(done) / double(total), 0.0, 1.0) : 0.0;
    if (m_bar) {
        m_bar->resize(m_bar->parentWidget()->width(), m_bar->height());
        m_bar->setDoubleValue(m_fraction * 100.0);
    }
    if (m_detail)
        m_detail->setStringValue(detailText());
}

void PLRBackupProgressWindowController::install()
{
    PLRPersistantExporter::setExportProgressHandler(
        [](PLRPersistantExporter::ExportStage stage, const QString& destination, qint64 done, qint64 total) {
            QPointer<PLRBackupProgressWindowController>& controller = current();
            switch (stage) {
            case PLRPersistantExporter::ExportStage::Started:
                break;   // the window opens with the copy: a queued export waits unseen
            case PLRPersistantExporter::ExportStage::Copying:
                if (!controller || controller->m_destination != destination) {
                    delete controller.data();
                    controller = new PLRBackupProgressWindowController(destination);
                    controller->showWindow();
                }
                controller->setProgress(done, total);
                break;
            case PLRPersistantExporter::ExportStage::Finished:
                if (controller && controller->m_destination == destination) {
                    controller->close();
                    controller->deleteLater();
                    controller = nullptr;
                }
                break;
            }
        });
}
