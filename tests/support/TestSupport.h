#pragma once

#include "platform/Alert.h"
#include "platform/Workspace.h"

#include <QRect>
#include <QString>

#include <functional>
#include <vector>

namespace platform {
class ManualClock;
}

namespace testing_support {

// The temporary home (PELLORA_HOME) of the running test; fresh for every test.
QString testHome();

// Runs the event loop until the predicate holds or the time-out passes; returns the predicate.
bool waitUntil(const std::function<bool()>& predicate, int timeoutMs = 5000);
// As waitUntil; and when a manual clock is in place, whenever nothing has brought the predicate
// about for a moment and no request is on its way (one whose deadline waits on the clock: its
// answer comes first), moves that clock on to its next waiting step (see waitingSteps; the
// delays that the awaited work needs pass at once).
bool waitUntilMovingTheClock(const std::function<bool()>& predicate, int timeoutMs = 5000);
// Whether a request is on its way with its deadline on the manual clock in place: its answer,
// or its failure, is still to come.
bool requestOnItsWay();
// The delays of the steps waiting on the manual clock, soonest first, leaving out the steady
// background ticks that run whenever the clock moves (the service probe's checks, the socket
// ping, the analytics tick, the update schedule) and the deadlines of requests in flight (photo
// uploads included).
std::vector<double> waitingSteps(const platform::ManualClock& clock);
// Runs the event loop while the predicate holds, for at most the time given; returns whether it
// held throughout (a check that nothing further happens, ending as soon as something does).
bool holdsFor(const std::function<bool()>& predicate, int ms);
// Handles the events already posted (deferred deletes included), without waiting for more.
void drainEvents();

// The next `count` modal sessions (a modal window run until it is closed, as the multi-step
// dialogs are) are the test's own: it drives and closes them. Any other modal session fails the
// test and ends at once, so that a test never waits in a window nobody answers.
void expectModalSessions(int count = 1);
// Puts that check in place (the test main does, before each test).
void failUnexpectedModalSessions();

// Installs scripted alerts for the running test; an alert nobody expected fails the test.
platform::ScriptedAlertPresenter& scriptedAlerts();
platform::ScriptedFilePanels& scriptedPanels();
platform::RecordingWorkspace& recordingWorkspace();

// The libraries' installs a test binary runs before each of its tests (in the fresh home), as
// the application runs them at start; after the test the reset registry undoes them. At most
// one per binary, at namespace scope in a file of its own:
//     const testing_support::InstallsBeforeEachTest installs(&testing_support::installShellLibraries);
struct InstallsBeforeEachTest {
    explicit InstallsBeforeEachTest(std::function<void()> installs);
};
// Runs them (the test main does, before each test).
void runInstallsBeforeEachTest();

// A folder of the source tree (PELLORA_SOURCE_DIR), e.g. "resources".
QString sourcePath(const QString& relative);
// A small real photograph (tests/data/two-wings.jpg, 640 x 400), for tests where the pixels of
// a real photo matter.
QString realPhotoPath();
// The real photo with a saturated sRGB red patch and green patch (kWideGamutPatch* in the
// photo's pixels), converted to Display P3 and written as a JPEG carrying that profile. A
// reader that ignores the profile sees duller colours in the patches.
QString writeWideGamutPhoto(const QString& path);
inline const QRect kWideGamutRedPatch(200, 120, 100, 100);
inline const QRect kWideGamutGreenPatch(360, 120, 100, 100);

} // namespace testing_support
