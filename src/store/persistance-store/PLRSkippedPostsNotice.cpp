#include "store/persistance-store/PLRSkippedPostsNotice.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Resets.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

struct NoticeState {
    bool given = false;
    // Moves on at every reset, so a notice queued before it never shows.
    quint64 generation = 0;
};

NoticeState& state()
{
    static NoticeState s;
    static const bool joined = platform::resets::add([] {
        s.given = false;
        ++s.generation;
    });
    (void)joined;
    return s;
}

} // namespace

namespace PLRSkippedPostsNotice {

platform::Alert alertFor(const QList<PLRSkippedPost>& posts)
{
    platform::Alert alert;
    alert.style = platform::AlertStyle::Warning;
    const bool aFolder = std::any_of(posts.begin(), posts.end(), [](const PLRSkippedPost& post) { return post.isPostsFolder; });
    alert.messageText = aFolder ? QStringLiteral("Some posts could not be opened")
        : posts.size() == 1     ? QStringLiteral("A post could not be opened")
                                : QStringLiteral("%1 posts could not be opened").arg(posts.size());
    QStringList items;
    for (const PLRSkippedPost& post : posts.mid(0, kNamedInAlert)) {
        const QString title = post.isPostsFolder ? QStringLiteral("The posts folder")
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
    NoticeState& s = state();
    if (s.given || posts.isEmpty())
        return;
    s.given = true;
    PLR_LOG_INFO(QStringLiteral("Telling the user of %1 post(s) that could not be opened").arg(posts.size()));
    const quint64 generation = s.generation;
    platform::dispatchMain([posts, generation] {
        if (state().generation == generation)
            platform::runAlert(alertFor(posts));
    });
}

} // namespace PLRSkippedPostsNotice
