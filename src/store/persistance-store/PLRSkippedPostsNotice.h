#pragma once

#include "platform/Alert.h"

#include <QList>
#include <QString>

#include <functional>

class QWidget;

// A post of the store that could not be opened; it is left on disk as it is.
struct PLRSkippedPost {
    QString path;     // the post's folder, or what stands in its place
    QString name;     // the post's title, when it could be read
    QString reason;   // why, in words for the user
    // Set when a folder of many posts was set aside rather than one post (an account's posts
    // folder, the account's own folder, the folder of every account): how the notice names it.
    QString folderTitle;
    bool isFolder() const { return !folderTitle.isEmpty(); }
};

// Tells the user, once a run, which posts of the store could not be opened and where they lie
// on disk. The alert comes from the event loop, after the work that found them: what is told
// meanwhile (a folder set aside as the store starts, the posts of the account opened next)
// joins the same alert.
namespace PLRSkippedPostsNotice {

// How many posts the alert names; the rest are counted (the log names every one).
inline constexpr int kNamedInAlert = 8;

// Shows the notice for the posts, unless it was shown in this run. Any thread.
void tell(const QList<PLRSkippedPost>& posts);
platform::Alert alertFor(const QList<PLRSkippedPost>& posts);

// Puts the notice before the user: called on the main thread with `show`, which runs the alert
// over the window given (what was told until then joins it). The application calls it once its
// main window is on the screen, with that window; without a presenter the alert runs at once,
// over no window in particular.
using Show = std::function<void(QWidget* parent)>;
using Presenter = std::function<void(Show show)>;
void setPresenter(Presenter presenter);

} // namespace PLRSkippedPostsNotice
