#include "store/session/PLRCoreManager.h"
#include "platform/Clock.h"
#include "platform/Resets.h"

#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/PLRSaveBatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Shutdown.h"
#include "store/session/PLRKeyChain.h"
#include "store/session/PLRUserSession.h"

#include <QDateTime>

#include <algorithm>
#include <optional>

namespace {

struct CoreState {
    std::shared_ptr<PLRUserSession> session;
    std::function<void()> startHook;
    PLRCoreManager::SignInHandler signInHandler;
    // The pending save after a change, when the first unsaved change was noted, the delay.
    platform::Cancellable changeSave;
    std::optional<double> firstUnsavedChange;   // clock seconds
    double changeSaveDelay = kPLRChangeSaveDelay;
};

CoreState& state()
{
    static CoreState core;
    static const bool joined = platform::resets::add([] {
        core.session.reset();
        core.startHook = nullptr;
        core.signInHandler = nullptr;
        core.changeSave.cancel();
        core.changeSave = {};
        core.firstUnsavedChange = {};
        core.changeSaveDelay = kPLRChangeSaveDelay;
    });
    (void)joined;
    return core;
}

// Hands the session's unsaved changes to the save queue (used before it is let go).
void queueSaveOf(PLRUserSession* session)
{
    if (!session)
        return;
    std::shared_ptr<PLRSaveBatch> batch = session->prepareSave();
    if (batch->isEmpty())
        return;
    PLRCoreManager::saveQueue().async([batch] { batch->write(); });
}

} // namespace

void PLRCoreManager::startManager()
{
    PLRPersistantStore::setUpStack();
    setUserSession(PLRUserSession::makeFromKeychain());
    if (state().startHook)
        state().startHook();
}

void PLRCoreManager::setStartHook(std::function<void()> hook)
{
    state().startHook = std::move(hook);
}

bool PLRCoreManager::save(std::function<void(bool)> completion)
{
    PLRUserSession* session = userSession();
    if (!session) {
        if (completion)
            completion(true);
        return true;
    }
    if (!platform::isMainThread()) {
        // The records belong to the main thread: serialise them there.
        platform::dispatchMain([completion = std::move(completion)]() mutable { save(std::move(completion)); });
        return true;
    }
    std::shared_ptr<PLRSaveBatch> batch = session->prepareSave();
    saveQueue().async([batch, completion = std::move(completion)] {
        batch->write([&completion](bool written) {
            if (completion)
                platform::dispatchMain([completion, written] { completion(written); });
        });
    });
    return true;
}

void PLRCoreManager::saveSoon()
{
    if (!platform::isMainThread()) {
        platform::dispatchMain([] { saveSoon(); });
        return;
    }
    CoreState& core = state();
    if (!core.session)
        return;
    const double now = platform::Clock::shared().now();
    if (!core.firstUnsavedChange)
        core.firstUnsavedChange = now;
    // Postpone to `delay` after this change, but never past the longest wait from the first.
    const double sinceFirst = now - *core.firstUnsavedChange;
    const double longest = std::max(core.changeSaveDelay, kPLRChangeSaveLongestWait);
    const double delay = std::max(0.0, std::min(core.changeSaveDelay, longest - sinceFirst));
    core.changeSave.cancel();
    core.changeSave = platform::Clock::shared().after(delay, nullptr, [] {
        CoreState& later = state();
        later.changeSave = {};
        later.firstUnsavedChange = {};
        if (later.session)
            save();
    });
}

void PLRCoreManager::setChangeSaveDelay(double seconds)
{
    state().changeSaveDelay = seconds > 0 ? seconds : kPLRChangeSaveDelay;
}

platform::SerialQueue& PLRCoreManager::saveQueue()
{
    static platform::SerialQueue queue(QStringLiteral("SAVE QUEUE"));
    return queue;
}

PLRUserSession* PLRCoreManager::userSession()
{
    return state().session.get();
}

std::shared_ptr<PLRUserSession> PLRCoreManager::sharedUserSession()
{
    return state().session;
}

void PLRCoreManager::setUserSession(std::shared_ptr<PLRUserSession> session)
{
    // Before the process ends the session goes (its photo folders stop their threads) and
    // the queued writes finish.
    static const bool hooked = [] {
        platform::shutdown::addHook([] {
            state().session.reset();
            saveQueue().waitUntilIdle();
        });
        return true;
    }();
    (void)hooked;
    if (state().session && state().session != session)
        queueSaveOf(state().session.get());
    state().session = std::move(session);
}

bool PLRCoreManager::signOut()
{
    const bool removed = PLRUserSession::removeKeychainItems();
    // Edits made since the last save are kept.
    setUserSession(nullptr);
    PLR_LOG_INFO(QStringLiteral("Signed out"));
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLRUserSessionLoggedOutNotification));
    return removed;
}

bool PLRCoreManager::signInUserWithEmail(const QString& email, const QString& password,
                                         SignInCompletion completion)
{
    if (!state().signInHandler) {
        PLR_LOG_ERROR(QStringLiteral("Sign-in requested but no service client is registered"));
        return false;
    }
    return state().signInHandler(email, password, std::move(completion));
}

void PLRCoreManager::setSignInHandler(SignInHandler handler)
{
    state().signInHandler = std::move(handler);
}

bool PLRCoreManager::completeSignIn(const QString& email, const QString& password, const QString& userId,
                                    const QString& jwt)
{
    if (userId.isEmpty()) {
        PLR_LOG_ERROR(QStringLiteral("Sign-in answer without a user identifier"));
        return false;
    }
    const QString service = PLRUserSession::keychainServiceName();
    const std::pair<const char*, QString> items[] = {
        {kPLRKeychainKeyEmail, email},
        {kPLRKeychainKeyPassword, password},
        {kPLRKeychainKeyUserId, userId},
        {kPLRKeychainKeyJWT, jwt},
    };
    for (const auto& [key, value] : items) {
        platform::Error error;
        if (!PLRKeyChain::setItem(value, QLatin1String(key), service, &error)) {
            PLR_LOG_ERROR(QStringLiteral("Could not store keychain item %1: %2").arg(QLatin1String(key), error.toString()));
            return false;
        }
    }
    std::shared_ptr<PLRUserSession> session = PLRUserSession::makeFromKeychain();
    setUserSession(session);
    return session != nullptr;
}
