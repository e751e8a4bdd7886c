#include "store/persistance-store/PLRSkippedPostsNotice.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Resets.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <mutex>

namespace {

struct NoticeState {
    std::mutex mutex;
    bool given = false;       // shown in this run: nothing more is told
    bool scheduled = false;   // on its way to the user: what is told meanwhile joins it
    QList<PLRSkippedPost> pending;
    // Moves on at every reset, so a notice queued before it never shows.
    quint64 generation = 0;
    PLRSkippedPostsNotice::Presenter presenter;
};

NoticeState& state()
{
    static NoticeState s;
    static const bool joined = platform::resets::add([] {
        std::lock_guard lock(s.mutex);
        s.given = false;
        s.scheduled = false;
        s.pending.clear();
        s.presenter = nullptr;
        ++s.generation;
    });
    (void)joined;
    return s;
}

// Runs the alert over `parent` with everything told so far (nothing once it has shown: tell()
// takes no more then).
void show(quint64 generation, QWidget* parent)
{
    NoticeState& s = state();
    QList<PLRSkippedPost> posts;
    {
        std::lock_guard lock(s.mutex);
        if (s.generation != generation || s.pending.isEmpty())
            return;
        s.given = true;
        s.scheduled = false;
        posts = std::move(s.pending);
        s.pending.clear();
    }
    PLR_LOG_INFO(QStringLiteral("Telling the user of %1 post(s) that could not be opened").arg(posts.size()));
    platform::runAlert(PLRSkippedPostsNotice::alertFor(posts), parent);
}

void present(quint64 generation)
{
    NoticeState& s = state();
    PLRSkippedPostsNotice::Presenter presenter;
    {
        std::lock_guard lock(s.mutex);
        if (s.generation != generation)
            return;
        presenter = s.presenter;
    }
    if (presenter)
        presenter([generation](QWidget* parent) { show(generation, parent); });
    else
        show(generation, nullptr);
}

} // namespace

namespace PLRSkippedPostsNotice {

platform::Alert alertFor(const QList<PLRSkippedPost>& posts)
{
    platform::Alert alert;
    alert.style = platform::AlertStyle::Warning;
    const bool aFolder = std::any_of(posts.begin(), posts.end(), [](const PLRSkippedPost& post) { return post.isFolder(); });
    alert.messageText = aFolder ? QStringLiteral("Some posts could not be opened")
        : posts.size() == 1     ? QStringLiteral("A post could not be opened")
                                : QStringLiteral("%1 posts could not be opened").arg(posts.size());
    QStringList items;
    for (const PLRSkippedPost& post : posts.mid(0, kNamedInAlert)) {
        const QString title = post.isFolder() ? post.folderTitle
                                              : QStringLiteral("\u201c%1\u201d")
                                                    .arg(post.name.isEmpty() ? QFileInfo(post.path).fileName() : post.name);
        items << QStringLiteral("%1: %2\n%3").arg(title, post.reason, QDir::toNativeSeparators(post.path));
    }
    QString text = posts.size() == 1 && !aFolder ? QStringLiteral("Pellora left it on disk as it is:\n\n")
                                                 : QStringLiteral("Pellora left them on disk as they are:\n\n");
    text += items.join(QStringLiteral("\n\n"));
    if (posts.size() > kNamedInAlert)
        text += QStringLiteral("\n\n... and %1 more; the log names every one.").arg(posts.size() - kNamedInAlert);
    alert.informativeText = text;
    return alert;
}

void tell(const QList<PLRSkippedPost>& posts)
{
    if (posts.isEmpty())
        return;
    NoticeState& s = state();
    quint64 generation = 0;
    {
        std::lock_guard lock(s.mutex);
        if (s.given)
            return;
        s.pending += posts;
        if (s.scheduled)
            return;
        s.scheduled = true;
        generation = s.generation;
    }
    platform::dispatchMain([generation] { present(generation); });
}

void setPresenter(Presenter presenter)
{
    NoticeState& s = state();
    std::lock_guard lock(s.mutex);
    s.presenter = std::move(presenter);
}

} // namespace PLRSkippedPostsNotice
