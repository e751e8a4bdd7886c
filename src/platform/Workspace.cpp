#include "platform/Workspace.h"
#include "platform/ModalFocus.h"

#include "platform/Log.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

namespace {
std::unique_ptr<FilePanels>& panelSlot()
{
    static std::unique_ptr<FilePanels> s;
    return s;
}
std::unique_ptr<Workspace>& workspaceSlot()
{
    static std::unique_ptr<Workspace> s;
    return s;
}

// Programs started for the user get the user's own environment (the application's points the
// libraries' caches at its own folder; a browser started from here must not keep its cache there).
bool startDetachedForUser(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(paths::userEnvironment());
    return process.startDetached();
}

// Opens an address as the desktop does (xdg-open, as Qt would), in the user's environment; in a
// sandbox, or without xdg-open, through Qt (a portal, or what Qt finds).
bool openForUser(const QUrl& url)
{
    const bool sandboxed = QFileInfo::exists(QStringLiteral("/.flatpak-info")) || qEnvironmentVariableIsSet("SNAP");
    const QString opener = sandboxed ? QString() : QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return QDesktopServices::openUrl(url);
    const QString address = QString::fromUtf8(url.toEncoded());
    // Never an option of the opener.
    if (address.startsWith(QLatin1Char('-'))) {
        PLR_LOG_WARN(QStringLiteral("Not opening the address %1: it is not one").arg(address));
        return false;
    }
    if (!startDetachedForUser(opener, {address})) {
        PLR_LOG_ERROR(QStringLiteral("Could not start %1 for %2").arg(opener, url.toDisplayString()));
        return false;
    }
    return true;
}
} // namespace

FilePanels& FilePanels::shared()
{
    if (!panelSlot())
        panelSlot() = std::make_unique<QtFilePanels>();
    return *panelSlot();
}

void FilePanels::setShared(std::unique_ptr<FilePanels> panels) { panelSlot() = std::move(panels); }

QString QtFilePanels::startingDirectory(const PanelRequest& request, const QString& lastDirectory)
{
    auto isFolder = [](const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); };
    if (isFolder(request.directory))
        return request.directory;
    if (isFolder(lastDirectory))
        return lastDirectory;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (isFolder(pictures))
        return pictures;
    return QDir::homePath();
}

QString QtFilePanels::directoryToRemember(const PanelRequest& request, const QString& answer)
{
    const QFileInfo info(answer);
    if (request.kind == PanelRequest::Kind::OpenDirectory)
        return QDir::cleanPath(info.absoluteFilePath() + QStringLiteral("/.."));
    return info.absolutePath();
}

std::optional<QString> QtFilePanels::run(const PanelRequest& request, QWidget* parent)
{
    const ModalFocusReturn focusReturn(parent);
    // A panel belongs to a window (it stays over it, and a desktop without a window manager
    // knows whose it is): the one asked for, else the one that has the keyboard.
    QFileDialog dialog(parent ? parent : activeOuterWindow(), request.title.isEmpty() ? request.message : request.title,
                       startingDirectory(request, m_lastDirectory));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (!request.nameFilters.isEmpty())
        dialog.setNameFilters(request.nameFilters);
    if (!request.prompt.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, request.prompt);
    switch (request.kind) {
    case PanelRequest::Kind::OpenFile:
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        break;
    case PanelRequest::Kind::OpenDirectory:
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        break;
    case PanelRequest::Kind::SaveFile:
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.selectFile(request.suggestedName);
        break;
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString answer = dialog.selectedFiles().constFirst();
    m_lastDirectory = directoryToRemember(request, answer);
    return answer;
}

QWidget* ScriptedFilePanels::askedOver(size_t index) const
{
    return index < m_parents.size() ? qobject_cast<QWidget*>(m_parents[index].data()) : nullptr;
}

std::optional<QString> ScriptedFilePanels::run(const PanelRequest& request, QWidget* parent)
{
    m_requests.push_back(request);
    m_parents.emplace_back(parent ? parent->window() : nullptr);
    if (m_answers.empty()) {
        if (onUnexpected)
            onUnexpected(request);
        return std::nullopt;
    }
    auto answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

Workspace& Workspace::shared()
{
    if (!workspaceSlot())
        workspaceSlot() = std::make_unique<QtWorkspace>();
    return *workspaceSlot();
}

void Workspace::setShared(std::unique_ptr<Workspace> workspace) { workspaceSlot() = std::move(workspace); }

bool QtWorkspace::openURL(const QUrl& url)
{
    if (!url.isValid()) {
        PLR_LOG_WARN(QStringLiteral("Not opening an invalid address"));
        return false;
    }
    return openForUser(url);
}

bool QtWorkspace::revealInFileManager(const QStringList& paths)
{
    bool ok = !paths.isEmpty();
    QStringList opened;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
        if (opened.contains(folder))
            continue;
        opened << folder;
        ok = openForUser(QUrl::fromLocalFile(folder)) && ok;
    }
    return ok;
}

bool QtWorkspace::launchDetached(const QString& program, const QStringList& arguments)
{
    const bool ok = startDetachedForUser(program, arguments);
    if (!ok)
        PLR_LOG_ERROR(QStringLiteral("Could not start %1").arg(program));
    return ok;
}

} // namespace platform
