#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace platform {

// Open and save panels.
struct PanelRequest {
    enum class Kind { OpenFile, OpenDirectory, SaveFile };
    Kind kind = Kind::OpenFile;
    QString title;
    QString message;
    QString directory;          // where the panel starts
    QString suggestedName;      // save panels
    QStringList nameFilters;    // e.g. "Post files (*.ppost)"
    QString prompt;             // the confirming button's title
};

class FilePanels {
public:
    virtual ~FilePanels() = default;
    // The chosen path, or nullopt when the user cancelled.
    virtual std::optional<QString> run(const PanelRequest& request, QWidget* parent = nullptr) = 0;

    static FilePanels& shared();
    static void setShared(std::unique_ptr<FilePanels> panels);
};

class QtFilePanels final : public FilePanels {
public:
    std::optional<QString> run(const PanelRequest& request, QWidget* parent) override;

    // Where a panel opens: the folder asked for, else where the last panel of this run was
    // answered, else the user's pictures folder, else home; never the program's working folder.
    static QString startingDirectory(const PanelRequest& request, const QString& lastDirectory);
    // The folder a later panel opens in after this answer: a chosen folder's parent, so its
    // siblings are at hand, or the folder holding a chosen file.
    static QString directoryToRemember(const PanelRequest& request, const QString& answer);

private:
    QString m_lastDirectory;
};

// Answers panels from a queue (nullopt = cancel) and records every request.
class ScriptedFilePanels final : public FilePanels {
public:
    void enqueue(std::optional<QString> answer) { m_answers.push_back(std::move(answer)); }
    std::optional<QString> run(const PanelRequest& request, QWidget* parent) override;
    const std::vector<PanelRequest>& requests() const { return m_requests; }
    // The window each panel was asked over (null: none given, or gone since).
    QWidget* askedOver(size_t index) const;
    std::function<void(const PanelRequest&)> onUnexpected;
private:
    std::deque<std::optional<QString>> m_answers;
    std::vector<PanelRequest> m_requests;
    std::vector<QPointer<QObject>> m_parents;
};

// The desktop around the application: opening addresses, showing files in the file
// manager, starting other programs.
class Workspace {
public:
    virtual ~Workspace() = default;
    virtual bool openURL(const QUrl& url) = 0;
    // Opens the folder holding the file in the desktop's file manager.
    virtual bool revealInFileManager(const QStringList& paths) = 0;
    // Starts a detached program with an argument list (never a shell string).
    virtual bool launchDetached(const QString& program, const QStringList& arguments) = 0;

    static Workspace& shared();
    static void setShared(std::unique_ptr<Workspace> workspace);
};

class QtWorkspace final : public Workspace {
public:
    bool openURL(const QUrl& url) override;
    bool revealInFileManager(const QStringList& paths) override;
    bool launchDetached(const QString& program, const QStringList& arguments) override;
};

// Records every call and does nothing.
class RecordingWorkspace final : public Workspace {
public:
    struct Launch { QString program; QStringList arguments; };
    bool openURL(const QUrl& url) override { openedURLs.push_back(url); return openSucceeds; }
    bool revealInFileManager(const QStringList& paths) override { revealed.push_back(paths); return true; }
    bool launchDetached(const QString& program, const QStringList& arguments) override
    {
        launches.push_back({program, arguments});
        return true;
    }
    std::vector<QUrl> openedURLs;
    bool openSucceeds = true;   // false: as when no browser can be started
    std::vector<QStringList> revealed;
    std::vector<Launch> launches;
};

} // namespace platform
