#pragma once

// Pellora's threads and queues: who owns each one and what may run there. This page is the one
// place the rules are written; headers say "main thread" or "any thread" only where a call
// breaks the default below.
//
// The default: the main thread.
//   Owned by the QApplication of main.cpp. Every QObject lives here unless this page names
//   another home: views, windows and view controllers; the model (the user session, accounts,
//   posts, layouts, source folders and their photos as objects); the notification centre's
//   observers; the undo manager; the network session (PLRURLSession) with every reply, service
//   completion and state-machine transition; timers and every task of platform::Clock. A call
//   that does not say otherwise is a main-thread call. Entry points that must never be reached
//   from elsewhere check it with PLR_ASSERT_MAIN_THREAD() (stops a build without NDEBUG).
//
// Background work, each with its owner and what it may touch:
//   "SAVE QUEUE"        PLRCoreManager::saveQueue(), serial, lives for the run. Writes post
//                       bundles, the account, backups and post files from copies serialised on
//                       the main thread (PLRSaveBatch); a batch may fan out over its own small
//                       pool and waits for it. Never touches a live record; failures go back
//                       with dispatchMain.
//   "SOURCE DIRECTORY"  one serial queue per PLRSourceDirectory, owned by it. Scans, orders and
//                       relinks the folder's files (scanning fans out over Qt's global pool and
//                       waits for it). The folder's lists are guarded by its mutex; delegates
//                       are called on the main thread only, queued there by the delivery step.
//   image operations    PLRImageManager's operation queue (bounded). Decodes photos (judging if
//                       they decode whole) and writes the cached thumbnails and previews; a photo's
//                       delegates (and its folder's, when it proves unusable) hear on the main thread.
//   shared pool         platform::dispatchGlobal (Qt's global pool). Short, self-contained
//                       decodes (the home page's post thumbnails, the preview panel); results
//                       return with dispatchMain and are dropped when their requester has gone.
//   "EXPORT LAYOUT"     one serial queue per export, with its own pool (two threads for each block
//                       drawn at once), owned by the export job. Checks photos no decode has
//                       judged, then starts the blocks, several side by side, each as two tasks on
//                       the pool that run at the same time: "export draw" decodes the block's
//                       photos and draws it band by band as their rows come; "export write",
//                       started with the first rows drawn, sharpens and encodes the rows drawn so
//                       far and writes the file. The rows are handed over in the block's picture
//                       (a count of final rows under the block's mutex; the writing task only
//                       reads them, and waits for more). They draw from the layout copy, the block
//                       trees taken from its off-screen views when the export starts and their own
//                       pictures (QImage and QPainter only): no view or widget is touched off the
//                       main thread. Progress and the end go to the main thread with dispatchMain,
//                       in order; nothing of the export waits for it.
//   "ANALYTICS QUEUE"   PLRAnalyticManager's, serial. Appends events to the file of unsent
//                       events under the manager's file lock.
//   reachability        PLRReachability's serial queue. Judges a network change; the change is
//                       posted on the main thread.
//   bundled fonts       one task on the shared pool, started by main.cpp as soon as the
//                       application object exists: registers the bundled font files with Qt's
//                       font database (whose calls are thread-safe). The main thread's first
//                       font waits for it to end, and so does main before it returns; it takes
//                       no lock of the main thread's.
//
// Rules for all of them:
//   - Work handed to a queue carries copies or weak pointers (QPointer, weak_ptr), never a raw
//     pointer to a main-thread object it could outlive; it comes back with dispatchMain.
//   - The main thread waits on a queue (sync, waitUntilIdle) only to save at quit, for the
//     bundled fonts or when a test asks; a queue never waits on the main thread while holding
//     a lock.
//   - A mutex guards one object's fields for a short section; nothing is called out
//     (delegates, notifications, completions) while holding it.
//   - Time. Timed behaviour runs on platform::Clock (Clock::after, or a ClockTimer for what is
//     restarted, repeated or stopped), so that tests step time instead of sleeping: delayed
//     calls, debounces, time-outs and deadlines, check and retry intervals, periodic work.
//     Frame pacing and input repeat stay on Qt timers: the caret's blink, a stepper's repeat
//     while held, the animation and layout frame ticks, a view's 16 ms repaint, the gallery's
//     loading-indicator frames, the canvas's scrolling while a drag is held at an edge, the
//     menu bar's polling of the modifier keys while a menu is open, and the progress shown
//     while the main thread waits. So do the limits of the few waits that block their caller
//     in a local event loop (the Secret Service answer, the session event sent at quit): a
//     clock that only a test moves could never end them while the test is blocked inside.
//     A zero-delay Qt single shot only hands work to the next turn of the event loop. The
//     relaunch helper, a process of its own without an event loop, sleeps while it waits; so
//     does a start that waits for the running instance to take its files (PLRSingleInstance),
//     before its event loop exists.

#include "platform/Dispatch.h"

namespace platform {

// Stops the process, naming `where`, when called off the main thread while an application
// object exists.
void assertMainThread(const char* where);

} // namespace platform

#ifdef NDEBUG
#define PLR_ASSERT_MAIN_THREAD() ((void)0)
#else
#define PLR_ASSERT_MAIN_THREAD() ::platform::assertMainThread(Q_FUNC_INFO)
#endif
