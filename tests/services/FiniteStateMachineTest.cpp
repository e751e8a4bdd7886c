#include "services/state_machine/PLRFiniteStateMachine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

std::string str(const QString& text) { return text.toStdString(); }
std::string str(const QStringList& list) { return list.join(" | ").toStdString(); }
QString address(const void* object) { return QString::asprintf("%p", object); }

// Expects `statement` to throw our exception with that name and message.
#define EXPECT_FSM_THROW(statement, exceptionName, exceptionMessage)                       \
    do {                                                                                   \
        try {                                                                              \
            statement;                                                                     \
            ADD_FAILURE() << "no exception from: " #statement;                            \
        } catch (const PLRFiniteStateMachineException& e) {                                \
            EXPECT_EQ(str(e.name()), exceptionName);                                       \
            EXPECT_EQ(str(e.message()), exceptionMessage);                                 \
            EXPECT_EQ(std::string(e.what()), exceptionMessage);                            \
        }                                                                                  \
    } while (false)

const std::string kImmutable = "PLRFiniteStateMachineIsImmutableException";
const std::string kInvalidArgument = "NSInvalidArgumentException";
const std::string kInconsistency = "NSInternalInconsistencyException";

// A door: Closed <-> Open, Closed <-> Locked, and "reset" from any state to Closed.
// Instrumented hooks, observers and the log append to `trace`.
class FiniteStateMachineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine->addStates({closed, open, locked});
        machine->addEvents({openEvent, closeEvent, lockEvent, unlockEvent, resetEvent});
    }
    void TearDown() override
    {
        if (logCapture)
            platform::log::removeCapture(logCapture);
    }

    void instrument(const PLRFiniteStatePtr& state)
    {
        const auto hook = [this](QString what) {
            return [this, what](const PLRFiniteStatePtr& s, const PLRFiniteTransitionPtr& t) {
                trace << s->name() + "." + what + "(" + (t ? t->event()->name() : "-") + ")";
            };
        };
        state->setWillEnterStateBlock(hook("willEnter"));
        state->setDidEnterStateBlock(hook("didEnter"));
        state->setWillExitStateBlock(hook("willExit"));
        state->setDidExitStateBlock(hook("didExit"));
    }
    void instrument(const PLRFiniteEventPtr& event, bool allow = true)
    {
        event->setShouldFireEventBlock([this, allow](const PLRFiniteEventPtr& e, const PLRFiniteTransitionPtr& t) {
            trace << e->name() + ".shouldFire(" + t->sourceState()->name() + "->" + t->destinationState()->name() + ")";
            lastTransition = t;
            return allow;
        });
        event->setWillFireEventBlock([this](const PLRFiniteEventPtr& e, auto&) { trace << e->name() + ".willFire"; });
        event->setDidFireEventBlock([this](const PLRFiniteEventPtr& e, auto&) { trace << e->name() + ".didFire"; });
    }
    void instrumentAll()
    {
        for (const auto& state : {closed, open, locked})
            instrument(state);
        for (const auto& event : {openEvent, closeEvent, lockEvent, unlockEvent, resetEvent})
            instrument(event);
    }
    // Records the machine's change notifications (and the current state when each arrives).
    void observe(std::function<void()> then = {})
    {
        platform::NotificationCenter::defaultCenter().addObserver(
            &observerContext, PLRFiniteStateMachineDidChangeStateNotification,
            [this, then](const platform::Notification& n) {
                const auto t = n.userInfo.value("transition").value<PLRFiniteTransitionPtr>();
                trace << "notify(" + t->sourceState()->name() + "->" + t->destinationState()->name() + " now "
                        + machine->currentState()->name() + ")";
                notifications.append(n);
                if (then)
                    then();
            },
            machine.get());
    }
    void captureLog()
    {
        logCapture = platform::log::addCapture([this](platform::log::Level level, const QString& line) {
            if (level == platform::log::Level::Info && line.startsWith("State Machine 'Door'"))
                trace << "log(" + line + ")";
        });
    }

    PLRFiniteStatePtr closed = PLRFiniteState::stateWithName("Closed");
    PLRFiniteStatePtr open = PLRFiniteState::stateWithName("Open");
    PLRFiniteStatePtr locked = PLRFiniteState::stateWithName("Locked");
    PLRFiniteEventPtr openEvent = PLRFiniteEvent::eventWithName("open", QList{closed}, open);
    PLRFiniteEventPtr closeEvent = PLRFiniteEvent::eventWithName("close", QList{open}, closed);
    PLRFiniteEventPtr lockEvent = PLRFiniteEvent::eventWithName("lock", QList{closed}, locked);
    PLRFiniteEventPtr unlockEvent = PLRFiniteEvent::eventWithName("unlock", QList{locked}, closed);
    PLRFiniteEventPtr resetEvent = PLRFiniteEvent::eventWithName("reset", std::nullopt, closed);
    std::unique_ptr<PLRFiniteStateMachine> machine = std::make_unique<PLRFiniteStateMachine>("Door");
    QStringList trace;
    QList<platform::Notification> notifications;
    PLRFiniteTransitionPtr lastTransition;
    int logCapture = 0;
    QObject observerContext; // declared last: destroyed first, which drops the observers
};

// ---- Assembly and lifecycle -------------------------------------------------------------------

TEST_F(FiniteStateMachineTest, InitialStateAndLookups)
{
    EXPECT_EQ(machine->initialState(), closed); // the first state added
    machine->setInitialState(open);
    EXPECT_EQ(machine->initialState(), open);
    PLRFiniteStateMachine preset;
    preset.setInitialState(locked);
    preset.addStates({closed, open});
    EXPECT_EQ(preset.initialState(), locked);
    EXPECT_EQ(preset.currentState(), nullptr);

    // Event names need not be unique: the first one added wins; an event is only added once.
    auto second = PLRFiniteEvent::eventWithName("open", std::nullopt, locked);
    machine->addEvents({second, openEvent});
    EXPECT_EQ(machine->eventNamed("open"), openEvent);
    EXPECT_EQ(machine->events().size(), 6);
    EXPECT_EQ(machine->states(), (QList{closed, open, locked}));
    EXPECT_EQ(machine->stateNamed("Ajar"), nullptr);
}

TEST_F(FiniteStateMachineTest, AssemblyErrors)
{
    EXPECT_FSM_THROW(machine->addState(PLRFiniteState::stateWithName("Open")), kInvalidArgument,
                     "State with name `Open` already exists");
    EXPECT_FSM_THROW(machine->addState(nullptr), kInvalidArgument,
                     "Expected a `PLRFiniteState` object, instead got a `(null)` ((null))");
    EXPECT_FSM_THROW(machine->addEvent(nullptr), kInvalidArgument, "Cannot add a `nil` event to the state machine.");
    // A state with a known name is still foreign unless it is the very object added.
    auto twin = PLRFiniteState::stateWithName("Closed");
    EXPECT_FSM_THROW(machine->addEvent(PLRFiniteEvent::eventWithName("jam", QList{open, twin}, locked)), kInconsistency,
                     "Cannot add event 'jam' to the state machine: the event references a state 'Closed', which "
                     "has not been added to the state machine.");
    EXPECT_FSM_THROW(machine->addEvent(PLRFiniteEvent::eventWithName("nudge", std::nullopt, twin)), kInconsistency,
                     "Cannot add event 'nudge' to the state machine: the event references a state 'Closed', which "
                     "has not been added to the state machine.");
    EXPECT_EQ(machine->events().size(), 5);

    EXPECT_FSM_THROW(PLRFiniteState::stateWithName(""), kInvalidArgument, "The `name` cannot be blank.");
    EXPECT_FSM_THROW(PLRFiniteEvent::eventWithName("", std::nullopt, open), kInvalidArgument,
                     "The event name cannot be blank.");
    EXPECT_FSM_THROW(PLRFiniteEvent::eventWithName("x", std::nullopt, nullptr), kInvalidArgument,
                     "The destination state cannot be nil.");
}

TEST_F(FiniteStateMachineTest, ActiveMachineIsFrozen)
{
    machine->activate();
    const std::string frozen = "Unable to modify state machine: The state machine has already been activated.";
    auto ajar = PLRFiniteState::stateWithName("Ajar");
    EXPECT_FSM_THROW(machine->setInitialState(open), kImmutable, frozen);
    EXPECT_FSM_THROW(machine->addState(ajar), kImmutable, frozen);
    EXPECT_FSM_THROW(machine->addStates({ajar}), kImmutable, frozen);
    EXPECT_FSM_THROW(machine->addEvent(resetEvent), kImmutable, frozen);
    EXPECT_FSM_THROW(machine->addEvents({resetEvent}), kImmutable, frozen);
    EXPECT_FSM_THROW(machine->activate(), kInconsistency, "The state machine has already been activated.");
    EXPECT_EQ(machine->states().size(), 3);
}

TEST_F(FiniteStateMachineTest, ActivationEntersInitialStateWithoutLoggingOrPosting)
{
    instrumentAll();
    observe();
    captureLog();
    machine->activate();
    EXPECT_EQ(str(trace), "Closed.willEnter(-) | Closed.didEnter(-)");
    EXPECT_TRUE(machine->isActive());

    PLRFiniteStateMachine empty("Empty");
    EXPECT_FSM_THROW(empty.activate(), kInvalidArgument,
                     str("Cannot assign currentState to `nil`: Expected a `PLRFiniteState` object. "
                         "(<PLRFiniteStateMachine:" + address(&empty) + " 'Empty' 0 States, 0 Events. "
                         "currentState=(null), initialState='(null)', isActive=YES>)"));
}

TEST_F(FiniteStateMachineTest, FailedActivationLeavesTheMachineInactive)
{
    // No initial state: activation throws, and so does every later fire, without a crash.
    machine->setInitialState(nullptr);
    EXPECT_THROW(machine->activate(), PLRFiniteStateMachineException);
    EXPECT_FALSE(machine->isActive());
    EXPECT_FALSE(machine->currentState());
    EXPECT_THROW(machine->fireEvent(openEvent), PLRFiniteStateMachineException);
    EXPECT_FALSE(machine->currentState());

    // Once it has an initial state it activates normally.
    machine->setInitialState(closed);
    EXPECT_NO_THROW(machine->activate());
    EXPECT_EQ(machine->currentState()->name(), "Closed");
}

// ---- Firing -----------------------------------------------------------------------------------

TEST_F(FiniteStateMachineTest, FireRunsHooksLogAndNotificationInOrder)
{
    instrumentAll();
    observe();
    captureLog();
    machine->activate();
    trace.clear();

    EXPECT_TRUE(machine->fireEvent("open"));
    EXPECT_EQ(str(trace), "open.shouldFire(Closed->Open) | open.willFire | Closed.willExit(open) | Open.willEnter(open)"
                          " | log(State Machine 'Door' moving from Closed to Open via event open)"
                          " | notify(Closed->Open now Open) | Closed.didExit(open) | Open.didEnter(open) | open.didFire");
    ASSERT_EQ(notifications.size(), 1);
    EXPECT_EQ(notifications[0].object, machine.get());
    EXPECT_TRUE(machine->isInState("Open"));
}

TEST_F(FiniteStateMachineTest, FireFromObserverCompletesInsideTheOuterFire)
{
    instrumentAll();
    bool nested = false;
    observe([&] {
        if (!std::exchange(nested, true)) {
            EXPECT_TRUE(machine->fireEvent(closeEvent));
        }
    });
    machine->activate();
    trace.clear();

    EXPECT_TRUE(machine->fireEvent(openEvent));
    EXPECT_EQ(str(trace), "open.shouldFire(Closed->Open) | open.willFire | Closed.willExit(open) | Open.willEnter(open)"
                          " | notify(Closed->Open now Open)"
                          " | close.shouldFire(Open->Closed) | close.willFire | Open.willExit(close)"
                          " | Closed.willEnter(close) | notify(Open->Closed now Closed) | Open.didExit(close)"
                          " | Closed.didEnter(close) | close.didFire"
                          " | Closed.didExit(open) | Open.didEnter(open) | open.didFire");
    EXPECT_EQ(machine->currentState(), closed);
}

TEST_F(FiniteStateMachineTest, FirstFireActivatesTheMachine)
{
    instrumentAll();
    EXPECT_TRUE(machine->fireEvent(lockEvent));
    EXPECT_EQ(str(trace), "Closed.willEnter(-) | Closed.didEnter(-) | lock.shouldFire(Closed->Locked) | lock.willFire"
                          " | Closed.willExit(lock) | Locked.willEnter(lock) | Closed.didExit(lock)"
                          " | Locked.didEnter(lock) | lock.didFire");
    EXPECT_TRUE(machine->isActive());
}

TEST_F(FiniteStateMachineTest, EventWithoutSourcesFiresFromEveryStateIncludingItsDestination)
{
    machine->fireEvent(lockEvent);
    instrumentAll();
    observe();
    EXPECT_TRUE(machine->canFireEvent(resetEvent));
    EXPECT_TRUE(machine->fireEvent(resetEvent)); // Locked -> Closed
    EXPECT_TRUE(machine->canFireEvent("reset"));
    trace.clear();
    EXPECT_TRUE(machine->fireEvent(resetEvent)); // Closed -> Closed: still a full transition
    EXPECT_EQ(str(trace), "reset.shouldFire(Closed->Closed) | reset.willFire | Closed.willExit(reset)"
                          " | Closed.willEnter(reset) | notify(Closed->Closed now Closed) | Closed.didExit(reset)"
                          " | Closed.didEnter(reset) | reset.didFire");
    EXPECT_EQ(notifications.size(), 2);
}

TEST_F(FiniteStateMachineTest, FireFromOutsideTheSourcesIsRefusedWithoutSideEffects)
{
    auto bolt = PLRFiniteEvent::eventWithName("bolt", QList{open, locked}, locked);
    machine->addEvent(bolt);
    machine->activate();
    instrumentAll();
    instrument(bolt);
    observe();
    captureLog();

    EXPECT_FALSE(machine->canFireEvent(bolt));
    platform::Error error;
    EXPECT_FALSE(machine->fireEvent("bolt", {}, &error));
    EXPECT_FALSE(machine->fireEvent(bolt)); // no place for the error: refused all the same
    EXPECT_EQ(machine->currentState(), closed);
    EXPECT_TRUE(trace.isEmpty()) << str(trace);
    EXPECT_TRUE(notifications.isEmpty());

    EXPECT_EQ(str(error.domain), "org.quenfield.pelloraapp.fsm.errors");
    EXPECT_EQ(error.code, 1000);
    EXPECT_EQ(str(error.localizedDescription()), "The event cannot be fired from the current state.");
    EXPECT_EQ(str(error.localizedFailureReason()),
              "An attempt was made to fire the 'bolt' event while in the 'Closed' state, but the event can only "
              "be fired from the following states: Open, Locked");
}

TEST_F(FiniteStateMachineTest, DeclinedFireRunsNoOtherHook)
{
    machine->activate();
    instrumentAll();
    instrument(openEvent, /*allow=*/false);
    observe();

    platform::Error error;
    const QVariantMap info{{"who", "guest"}};
    EXPECT_TRUE(machine->canFireEvent(openEvent)); // does not ask the hook
    EXPECT_FALSE(machine->fireEvent(openEvent, info, &error));
    EXPECT_EQ(str(trace), "open.shouldFire(Closed->Open)");
    EXPECT_TRUE(notifications.isEmpty());
    EXPECT_EQ(machine->currentState(), closed);
    ASSERT_TRUE(lastTransition);
    EXPECT_EQ(lastTransition->stateMachine(), machine.get());
    EXPECT_TRUE(lastTransition->userInfo() == info);

    EXPECT_EQ(error.code, 1001);
    EXPECT_EQ(str(error.localizedDescription()), "The event declined to be fired.");
    EXPECT_EQ(str(error.localizedFailureReason()),
              "An attempt to fire the 'open' event was declined because `shouldFireEventBlock` returned `NO`.");
}

TEST_F(FiniteStateMachineTest, NotificationAlwaysCarriesTheTransition)
{
    observe();
    ASSERT_TRUE(machine->fireEvent(openEvent));
    ASSERT_TRUE(machine->fireEvent(closeEvent, {{"transition", 7}, {"by", "me"}}));
    ASSERT_EQ(notifications.size(), 2);
    EXPECT_EQ(str(notifications[0].userInfo.keys()), "transition");

    const auto info = notifications[1].userInfo;
    EXPECT_EQ(info.value("by").toString(), "me");
    const auto transition = info.value("transition").value<PLRFiniteTransitionPtr>();
    ASSERT_TRUE(transition);
    EXPECT_EQ(transition->event(), closeEvent);
    EXPECT_EQ(transition->sourceState(), open);
    EXPECT_EQ(transition->destinationState(), closed);
    EXPECT_EQ(transition->userInfo().value("transition").toInt(), 7); // the caller's own map is untouched
}

TEST_F(FiniteStateMachineTest, QueriesRejectUnknownOrNullArguments)
{
    machine->activate();
    EXPECT_TRUE(machine->isInState("Closed"));
    EXPECT_FALSE(machine->isInState(PLRFiniteState::stateWithName("Closed"))); // identity, not name
    EXPECT_FALSE(machine->canFireEvent("close"));

    const std::string notAnEvent = "Expected a `PLRFiniteEvent` object or `NSString` object specifying the name of "
                                   "an event, instead got a `(null)` ((null))";
    EXPECT_FSM_THROW(machine->canFireEvent(PLRFiniteEventPtr()), kInvalidArgument, notAnEvent);
    EXPECT_FSM_THROW(machine->fireEvent(PLRFiniteEventPtr()), kInvalidArgument, notAnEvent);
    EXPECT_FSM_THROW(machine->canFireEvent("slam"), kInvalidArgument, "Cannot find an Event named 'slam'");
    EXPECT_FSM_THROW(machine->fireEvent("slam"), kInvalidArgument, "Cannot find an Event named 'slam'");
    EXPECT_FSM_THROW(machine->isInState(PLRFiniteStatePtr()), kInvalidArgument,
                     "Expected a `PLRFiniteState` object or `NSString` object specifying the name of a state, "
                     "instead got a `(null)` ((null))");
    EXPECT_FSM_THROW(machine->isInState("Ajar"), kInvalidArgument, "Cannot find a State named 'Ajar'");
}

// ---- Threads ----------------------------------------------------------------------------------

TEST_F(FiniteStateMachineTest, ThrowingHookLeavesTheMachineUsableFromAnotherThread)
{
    bool throwOnce = true;
    open->setWillEnterStateBlock([&](auto&, auto&) {
        if (std::exchange(throwOnce, false))
            throw std::runtime_error("hook failed");
    });
    EXPECT_THROW(machine->fireEvent(openEvent), std::runtime_error);
    EXPECT_EQ(machine->currentState(), closed);

    std::promise<bool> fired;
    auto result = fired.get_future();
    std::thread other([&] { fired.set_value(machine->fireEvent("open")); });
    if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        other.detach();
        FAIL() << "the machine's lock is still held after the hook threw";
    }
    other.join();
    EXPECT_TRUE(result.get());
    EXPECT_EQ(machine->currentState(), open);
}

TEST_F(FiniteStateMachineTest, ConcurrentFiresDoNotInterleave)
{
    std::atomic<bool> inside{false};
    std::atomic<int> overlaps{0}, completed{0};
    resetEvent->setWillFireEventBlock([&](auto&, auto&) {
        overlaps += inside.exchange(true) ? 1 : 0;
        std::this_thread::yield();
    });
    resetEvent->setDidFireEventBlock([&](auto&, auto&) {
        inside = false;
        ++completed;
    });
    const auto worker = [&] {
        for (int i = 0; i < 100; ++i)
            machine->fireEvent(resetEvent);
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(completed.load(), 200);
}

// ---- Descriptions -----------------------------------------------------------------------------

TEST_F(FiniteStateMachineTest, Descriptions)
{
    EXPECT_EQ(str(closed->description()), str("<PLRFiniteState:" + address(closed.get()) + " 'Closed'>"));

    const auto describe = [](const PLRFiniteEvent::SourceStates& sources) {
        const auto e = PLRFiniteEvent::eventWithName("e", sources, PLRFiniteState::stateWithName("D"));
        return str(e->description().remove(address(e.get())));
    };
    const auto a = PLRFiniteState::stateWithName("A"), b = PLRFiniteState::stateWithName("B");
    EXPECT_EQ(describe(std::nullopt), "<PLRFiniteEvent: 'e' transitions from any state to 'D'>");
    EXPECT_EQ(describe(QList<PLRFiniteStatePtr>{}), "<PLRFiniteEvent: 'e' transitions from any state to 'D'>");
    EXPECT_EQ(describe(QList{a}), "<PLRFiniteEvent: 'e' transitions from 'A' to 'D'>");
    EXPECT_EQ(describe(QList{b, a}), "<PLRFiniteEvent: 'e' transitions from 'B' and 'A' to 'D'>");
    EXPECT_EQ(describe(QList{a, b, a}), "<PLRFiniteEvent: 'e' transitions from 'A', 'B' and 'A' to 'D'>");

    const QString prefix = "<PLRFiniteStateMachine:" + address(machine.get()) + " 'Door' 3 States, 5 Events. ";
    EXPECT_EQ(str(machine->description()), str(prefix + "currentState=(null), initialState='Closed', isActive=NO>"));
    machine->fireEvent(openEvent);
    EXPECT_EQ(str(machine->description()), str(prefix + "currentState='Open', initialState='Closed', isActive=YES>"));
    EXPECT_TRUE(PLRFiniteStateMachine().description().contains(" '(null)' 0 States, 0 Events."));
}

TEST_F(FiniteStateMachineTest, DotDescription)
{
    machine->addEvent(PLRFiniteEvent::eventWithName("bolt", QList{open, locked}, locked));
    const std::string style = "fontname=\"Menlo Italic\", fontsize=9];\n";
    const std::string edges = "  \"Closed\" -> \"Open\" [label=\"open\", " + style
        + "  \"Open\" -> \"Closed\" [label=\"close\", " + style + "  \"Closed\" -> \"Locked\" [label=\"lock\", " + style
        + "  \"Locked\" -> \"Closed\" [label=\"unlock\", " + style + "  \"Open\" -> \"Locked\" [label=\"bolt\", " + style
        + "  \"Locked\" -> \"Locked\" [label=\"bolt\", " + style;
    const std::string initial = "  \"\" [style=\"invis\"]; \"\" -> \"Closed\" [dir=both, arrowtail=dot]; // Initial State\n";
    EXPECT_EQ(str(machine->dotDescription()), "digraph StateMachine {\n" + initial + edges + "}");
    machine->fireEvent(lockEvent);
    EXPECT_EQ(str(machine->dotDescription()),
              "digraph StateMachine {\n" + initial + "  \"Locked\" [style=bold]; // Current State\n" + edges + "}");
    EXPECT_EQ(str(PLRFiniteStateMachine().dotDescription()), "digraph StateMachine {\n}");
}

// ---- Copying and archiving --------------------------------------------------------------------

TEST_F(FiniteStateMachineTest, StateAndEventCopies)
{
    closed->setUserInfo({{"k", 1}});
    instrument(closed);
    instrument(openEvent);
    const auto state = closed->copy();
    EXPECT_NE(state, closed);
    EXPECT_EQ(state->name(), "Closed");
    EXPECT_TRUE(state->userInfo().isEmpty());
    state->didExitStateBlock()(state, nullptr);
    EXPECT_EQ(str(trace), "Closed.didExit(-)");

    const auto event = openEvent->copy();
    EXPECT_NE(event, openEvent);
    EXPECT_EQ(event->sourceStates()->first(), closed);
    EXPECT_EQ(event->destinationState(), open);
    EXPECT_TRUE(event->shouldFireEventBlock() && event->willFireEventBlock() && event->didFireEventBlock());
    EXPECT_FALSE(resetEvent->copy()->sourceStates().has_value());
}

TEST_F(FiniteStateMachineTest, MachineCopyIsAFreshInactiveMachine)
{
    machine->setInitialState(open);
    instrument(locked);
    instrument(lockEvent, /*allow=*/false);
    machine->fireEvent(closeEvent);
    trace.clear();

    const auto copy = machine->copy();
    EXPECT_FALSE(copy->isActive());
    EXPECT_TRUE(copy->name().isNull());
    EXPECT_EQ(copy->currentState(), nullptr);
    ASSERT_EQ(copy->states().size(), 3);
    for (const auto& state : copy->states())
        EXPECT_FALSE(machine->states().contains(state));
    EXPECT_EQ(copy->initialState(), copy->stateNamed("Open"));
    const auto lock = copy->eventNamed("lock");
    EXPECT_EQ(lock->sourceStates()->first(), copy->stateNamed("Closed"));
    EXPECT_EQ(lock->destinationState(), copy->stateNamed("Locked"));
    EXPECT_FALSE(copy->eventNamed("reset")->sourceStates().has_value());

    // Event hooks are not carried (the original declines "lock"); state hooks travel with the states.
    ASSERT_TRUE(copy->fireEvent("close"));
    EXPECT_TRUE(copy->fireEvent(lock));
    EXPECT_EQ(str(trace), "Locked.willEnter(lock) | Locked.didEnter(lock)");
    EXPECT_EQ(machine->currentState(), closed);
}

TEST_F(FiniteStateMachineTest, ArchiveRoundTrips)
{
    EXPECT_EQ(PLRFiniteState::unarchive(open->archive())->name(), "Open");
    const auto loop = PLRFiniteEvent::eventWithName("loop", QList{open, closed}, open);
    const auto event = PLRFiniteEvent::unarchive(loop->archive());
    ASSERT_TRUE(event);
    EXPECT_EQ(event->name(), "loop");
    ASSERT_EQ(event->sourceStates()->size(), 2);
    EXPECT_EQ(event->sourceStates()->first(), event->destinationState()); // one object per state
    EXPECT_FALSE(PLRFiniteEvent::unarchive(resetEvent->archive())->sourceStates().has_value());

    machine->fireEvent(lockEvent);
    const auto restored = PLRFiniteStateMachine::unarchive(machine->archive());
    ASSERT_TRUE(restored);
    EXPECT_TRUE(restored->isActive());
    EXPECT_TRUE(restored->name().isNull());
    EXPECT_EQ(restored->currentState(), restored->stateNamed("Locked"));
    EXPECT_EQ(restored->initialState(), restored->stateNamed("Closed"));
    EXPECT_EQ(restored->events().size(), 5);
    const auto unlock = restored->eventNamed("unlock");
    EXPECT_EQ(unlock->sourceStates()->first(), restored->currentState());
    EXPECT_EQ(unlock->destinationState(), restored->initialState());
    EXPECT_TRUE(restored->fireEvent(unlock));
    EXPECT_THROW(restored->addState(PLRFiniteState::stateWithName("X")), PLRFiniteStateMachineException);
}

TEST_F(FiniteStateMachineTest, UnarchiveFailsCleanly)
{
    // Never activated, so there is no current state to restore.
    try {
        PLRFiniteStateMachine::unarchive(machine->archive());
        ADD_FAILURE() << "an archive without a current state was accepted";
    } catch (const PLRFiniteStateMachineException& e) {
        EXPECT_EQ(str(e.name()), kInvalidArgument);
        EXPECT_TRUE(e.message().startsWith("Cannot assign currentState to `nil`: Expected a `PLRFiniteState` object. ("));
    }
    EXPECT_EQ(PLRFiniteStateMachine::unarchive("garbage"), nullptr);
    EXPECT_EQ(PLRFiniteStateMachine::unarchive(open->archive()), nullptr);
    EXPECT_EQ(PLRFiniteState::unarchive(openEvent->archive()), nullptr);
    EXPECT_EQ(PLRFiniteEvent::unarchive(QByteArray()), nullptr);
}

} // namespace
