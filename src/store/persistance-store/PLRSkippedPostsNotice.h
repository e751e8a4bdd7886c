#pragma once

#include "platform/Alert.h"

#include <QList>
#include <QString>

// A post of the store that could not be opened; it is left on disk as it is.
struct PLRSkippedPost {
    QString path;     // the post's folder, or what stands in its place
    QString name;     // the post's title, when it could be read
    QString reason;   // why, in words for the user
    bool isPostsFolder = false;   // the folder of all of an account's posts
};

// Tells the user, once a run, which posts of the store could not be opened and where they lie
// on disk. The alert comes from the event loop, after the work that found them.
namespace PLRSkippedPostsNotice {

// How many posts the alert names; the rest are counted (the log names every one).
inline constexpr int kNamedInAlert = 8;

// Shows the notice for the posts, unless it was shown (or is on its way) in this run.
void tell(const QList<PLRSkippedPost>& posts);
platform::Alert alertFor(const QList<PLRSkippedPost>& posts);

} // namespace PLRSkippedPostsNotice
