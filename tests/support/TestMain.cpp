// The main of every test executable: a QApplication on the offscreen platform, the memory
// keychain, scripted alerts, panels and workspace, and a fresh PELLORA_HOME for every test.

#include "TestSupport.h"

#include "platform/Keychain.h"
#include "platform/Resets.h"
#include "platform/Resources.h"
#include "platform/Shutdown.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <unistd.h>
#include <QTemporaryDir>

#include <memory>

namespace {

class FreshHome : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override
    {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("PELLORA_HOME", m_home->path().toUtf8());
        platform::UserDefaults::standard().reload();
        platform::Keychain::setShared(platform::Keychain::make(QStringLiteral("memory")));
        platform::AlertPresenter::setShared(nullptr);
        platform::FilePanels::setShared(nullptr);
        platform::Workspace::setShared(nullptr);
        testing_support::scriptedAlerts();
        testing_support::scriptedPanels();
        testing_support::recordingWorkspace();
        testing_support::failUnexpectedModalSessions();
        testing_support::runInstallsBeforeEachTest();
    }
    void OnTestEnd(const ::testing::TestInfo& info) override
    {
        // What the test let go of goes now, while its home still exists; then every global
        // (singletons, shared services, hooks, registrations) goes back to its start state.
        platform::shutdown::run();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::resets::run();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (info.result()->Failed() && qEnvironmentVariableIsSet("PELLORA_KEEP_FAILED_HOME"))
            m_home->setAutoRemove(false);
        m_home.reset();
    }
private:
    std::unique_ptr<QTemporaryDir> m_home;
};

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer build (the "asan" preset: AddressSanitizer and UndefinedBehaviorSanitizer):
// any report of undefined behaviour fails the test binary, as a memory error does, and the
// leak check skips only the libraries' own leaks listed (with the reason) in the file.
extern "C" const char* __ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}
extern "C" const char* __lsan_default_options()
{
    return "suppressions=" PELLORA_SOURCE_DIR "/cmake/sanitizers/lsan.supp:print_suppressions=0";
}
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("PELLORA_KEYCHAIN", "memory");
    if (qEnvironmentVariableIsEmpty("PELLORA_SOURCE_DIR"))
        qputenv("PELLORA_SOURCE_DIR", PELLORA_SOURCE_DIR);
    if (qEnvironmentVariableIsEmpty("PELLORA_BINARY_DIR"))
        qputenv("PELLORA_BINARY_DIR", PELLORA_BINARY_DIR);
    if (qEnvironmentVariableIsEmpty("PELLORA_LOG_QUIET"))
        qputenv("PELLORA_LOG_QUIET", "1");
    // A home for anything touched before the first test starts.
    QTemporaryDir startHome;
    qputenv("PELLORA_HOME", startHome.path().toUtf8());

    // What the support chat's web engine needs: shared GL contexts, no sandbox for the super-user.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    platform::resources::initialize();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshHome);
    const int result = RUN_ALL_TESTS();
    platform::shutdown::run();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
