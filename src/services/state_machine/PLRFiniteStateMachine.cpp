#include "services/state_machine/PLRFiniteStateMachine.h"

#include "services/state_machine/PLRFiniteSupport.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"

#include <QHash>
#include <QMutexLocker>
#include <QStringList>
#include <QVariantList>

namespace {
constexpr char kClassName[] = "PLRFiniteStateMachine";
constexpr char kInitialStateKey[] = "initialState";
constexpr char kCurrentStateKey[] = "currentState";
constexpr char kStatesKey[] = "states";
constexpr char kEventsKey[] = "events";
constexpr char kIsActiveKey[] = "isActive";

using plr_fsm_detail::textOrNull;

QString nameOf(const PLRFiniteStatePtr& state)
{
    return textOrNull(state ? state->name() : QString());
}

QLatin1String key(const char* text)
{
    return QLatin1String(text);
}

// What a null object reads as in "instead got a `%@` (%@)" messages.
const QString kNullText = QStringLiteral("(null)");

PLRFiniteStateMachineException unknownEventArgument()
{
    return PLRFiniteStateMachineException::invalidArgument(
        QStringLiteral("Expected a `PLRFiniteEvent` object or `NSString` object specifying the "
                       "name of an event, instead got a `%1` (%2)")
            .arg(kNullText, kNullText));
}

PLRFiniteStateMachineException eventNotFound(const QString& name)
{
    return PLRFiniteStateMachineException::invalidArgument(
        QStringLiteral("Cannot find an Event named '%1'").arg(name));
}

void setRefusal(platform::Error* error, qint64 code, const QString& description,
                const QString& failureReason)
{
    if (!error)
        return;
    *error = platform::Error(QString::fromLatin1(PLRFiniteStateMachineErrorDomain), code,
                             {{QLatin1String(platform::kLocalizedDescriptionKey), description},
                              {QLatin1String(platform::kLocalizedFailureReasonKey), failureReason}});
}
} // namespace

PLRFiniteStateMachine::PLRFiniteStateMachine(QObject* parent) : QObject(parent) {}

PLRFiniteStateMachine::PLRFiniteStateMachine(const QString& name, QObject* parent)
    : QObject(parent), m_name(name)
{
}

PLRFiniteStateMachine::~PLRFiniteStateMachine() = default;

// ---- State ---------------------------------------------------------------------------------

void PLRFiniteStateMachine::setInitialState(const PLRFiniteStatePtr& initialState)
{
    throwIfActive();
    m_initialState = initialState;
}

PLRFiniteStatePtr PLRFiniteStateMachine::currentState() const
{
    QMutexLocker locker(&m_currentStateMutex);
    return m_currentState;
}

void PLRFiniteStateMachine::setCurrentState(const PLRFiniteStatePtr& state)
{
    if (!state)
        throw PLRFiniteStateMachineException::invalidArgument(
            QStringLiteral("Cannot assign currentState to `nil`: Expected a `PLRFiniteState` "
                           "object. (%1)")
                .arg(description()));
    QMutexLocker locker(&m_currentStateMutex);
    m_currentState = state;
}

void PLRFiniteStateMachine::throwIfActive() const
{
    if (isActive())
        throw PLRFiniteStateMachineException::immutable(
            QStringLiteral("Unable to modify state machine: The state machine has already been "
                           "activated."));
}

// ---- Assembly ------------------------------------------------------------------------------

void PLRFiniteStateMachine::addState(const PLRFiniteStatePtr& state)
{
    throwIfActive();
    if (!state)
        throw PLRFiniteStateMachineException::invalidArgument(
            QStringLiteral("Expected a `PLRFiniteState` object, instead got a `%1` (%2)")
                .arg(kNullText, kNullText));
    if (stateNamed(state->name()))
        throw PLRFiniteStateMachineException::invalidArgument(
            QStringLiteral("State with name `%1` already exists").arg(state->name()));
    if (!m_initialState)
        m_initialState = state;
    m_states.append(state);
}

void PLRFiniteStateMachine::addStates(const QList<PLRFiniteStatePtr>& states)
{
    for (const PLRFiniteStatePtr& state : states)
        addState(state);
}

void PLRFiniteStateMachine::addEvent(const PLRFiniteEventPtr& event)
{
    throwIfActive();
    if (!event)
        throw PLRFiniteStateMachineException::invalidArgument(
            QStringLiteral("Cannot add a `nil` event to the state machine."));

    const auto unknownState = [&event](const PLRFiniteStatePtr& state) {
        return PLRFiniteStateMachineException::internalInconsistency(
            QStringLiteral("Cannot add event '%1' to the state machine: the event references a "
                           "state '%2', which has not been added to the state machine.")
                .arg(event->name(), nameOf(state)));
    };
    if (event->sourceStates()) {
        for (const PLRFiniteStatePtr& state : *event->sourceStates()) {
            if (!state || !m_states.contains(state))
                throw unknownState(state);
        }
    }
    if (!m_states.contains(event->destinationState()))
        throw unknownState(event->destinationState());

    if (!m_events.contains(event))
        m_events.append(event);
}

void PLRFiniteStateMachine::addEvents(const QList<PLRFiniteEventPtr>& events)
{
    for (const PLRFiniteEventPtr& event : events)
        addEvent(event);
}

// ---- Queries -------------------------------------------------------------------------------

PLRFiniteStatePtr PLRFiniteStateMachine::stateNamed(const QString& name) const
{
    for (const PLRFiniteStatePtr& state : m_states) {
        if (state->name() == name)
            return state;
    }
    return nullptr;
}

PLRFiniteEventPtr PLRFiniteStateMachine::eventNamed(const QString& name) const
{
    for (const PLRFiniteEventPtr& event : m_events) {
        if (event->name() == name)
            return event;
    }
    return nullptr;
}

bool PLRFiniteStateMachine::isInState(const PLRFiniteStatePtr& state) const
{
    if (!state)
        throw PLRFiniteStateMachineException::invalidArgument(
            QStringLiteral("Expected a `PLRFiniteState` object or `NSString` object specifying "
                           "the name of a state, instead got a `%1` (%2)")
                .arg(kNullText, kNullText));
    return currentState() == state;
}

bool PLRFiniteStateMachine::isInState(const QString& stateName) const
{
    const PLRFiniteStatePtr state = stateNamed(stateName);
    if (!state)
        throw PLRFiniteStateMachineException::invalidArgument(
            QStringLiteral("Cannot find a State named '%1'").arg(stateName));
    return isInState(state);
}

bool PLRFiniteStateMachine::canFireEvent(const PLRFiniteEventPtr& event) const
{
    if (!event)
        throw unknownEventArgument();
    if (!event->sourceStates())
        return true;
    return event->sourceStates()->contains(currentState());
}

bool PLRFiniteStateMachine::canFireEvent(const QString& eventName) const
{
    const PLRFiniteEventPtr event = eventNamed(eventName);
    if (!event)
        throw eventNotFound(eventName);
    return canFireEvent(event);
}

// ---- Running -------------------------------------------------------------------------------

void PLRFiniteStateMachine::activate()
{
    // The check happens under the lock so that two threads cannot both activate.
    QMutexLocker locker(&m_lock);
    if (isActive())
        throw PLRFiniteStateMachineException::internalInconsistency(
            QStringLiteral("The state machine has already been activated."));
    m_active = true;

    const PLRFiniteStatePtr initial = m_initialState;
    try {
        // Hooks are copied before the call: a hook may replace itself while it runs.
        if (initial) {
            if (const PLRFiniteState::Block block = initial->willEnterStateBlock())
                block(initial, nullptr);
        }
        setCurrentState(initial);
    } catch (...) {
        // A machine that never entered a state is not active: a later fire tries again
        // (and throws again) instead of running without a current state.
        m_active = false;
        throw;
    }
    if (const PLRFiniteState::Block block = initial->didEnterStateBlock())
        block(initial, nullptr);
}

bool PLRFiniteStateMachine::fireEvent(const PLRFiniteEventPtr& event, const QVariantMap& userInfo,
                                      platform::Error* error)
{
    QMutexLocker locker(&m_lock);
    if (!isActive())
        activate();
    if (!event)
        throw unknownEventArgument();
    return performFire(event, userInfo, error);
}

bool PLRFiniteStateMachine::fireEvent(const QString& eventName, const QVariantMap& userInfo,
                                      platform::Error* error)
{
    QMutexLocker locker(&m_lock);
    if (!isActive())
        activate();
    const PLRFiniteEventPtr event = eventNamed(eventName);
    if (!event)
        throw eventNotFound(eventName);
    return performFire(event, userInfo, error);
}

// Runs with m_lock held by the caller.
bool PLRFiniteStateMachine::performFire(const PLRFiniteEventPtr& event,
                                        const QVariantMap& userInfo, platform::Error* error)
{
    const PLRFiniteStatePtr sourceState = currentState();
    if (event->sourceStates() && !event->sourceStates()->contains(sourceState)) {
        QStringList allowed;
        for (const PLRFiniteStatePtr& state : *event->sourceStates())
            allowed.append(nameOf(state));
        setRefusal(error, PLRFiniteStateMachineInvalidTransitionError,
                   QStringLiteral("The event cannot be fired from the current state."),
                   QStringLiteral("An attempt was made to fire the '%1' event while in the '%2' "
                                  "state, but the event can only be fired from the following "
                                  "states: %3")
                       .arg(event->name(), nameOf(sourceState), allowed.join(QStringLiteral(", "))));
        return false;
    }

    const PLRFiniteTransitionPtr transition =
        PLRFiniteTransition::transitionForEvent(event, sourceState, this, userInfo);

    if (const PLRFiniteEvent::ShouldFireBlock shouldFire = event->shouldFireEventBlock()) {
        if (!shouldFire(event, transition)) {
            setRefusal(error, PLRFiniteStateMachineTransitionDeclinedError,
                       QStringLiteral("The event declined to be fired."),
                       QStringLiteral("An attempt to fire the '%1' event was declined because "
                                      "`shouldFireEventBlock` returned `NO`.")
                           .arg(event->name()));
            return false;
        }
    }

    // Read again: the shouldFire hook may itself have fired an event.
    const PLRFiniteStatePtr oldState = currentState();
    const PLRFiniteStatePtr newState = event->destinationState();

    if (const PLRFiniteEvent::Block block = event->willFireEventBlock())
        block(event, transition);
    if (const PLRFiniteState::Block block = oldState->willExitStateBlock())
        block(oldState, transition);
    if (const PLRFiniteState::Block block = newState->willEnterStateBlock())
        block(newState, transition);
    setCurrentState(newState);

    QVariantMap notificationInfo = userInfo;
    notificationInfo.insert(key(PLRFiniteStateMachineTransitionUserInfoKey),
                            QVariant::fromValue(transition));

    PLR_LOG_INFO(QStringLiteral("State Machine '%1' moving from %2 to %3 via event %4")
                     .arg(textOrNull(m_name), nameOf(oldState), nameOf(newState), event->name()));

    platform::NotificationCenter::defaultCenter().post(
        QString::fromLatin1(PLRFiniteStateMachineDidChangeStateNotification), this,
        notificationInfo);

    if (const PLRFiniteState::Block block = oldState->didExitStateBlock())
        block(oldState, transition);
    if (const PLRFiniteState::Block block = newState->didEnterStateBlock())
        block(newState, transition);
    if (const PLRFiniteEvent::Block block = event->didFireEventBlock())
        block(event, transition);
    return true;
}

// ---- Descriptions --------------------------------------------------------------------------

QString PLRFiniteStateMachine::description() const
{
    const PLRFiniteStatePtr current = currentState();
    const QString currentText =
        current ? QLatin1Char('\'') + current->name() + QLatin1Char('\'') : kNullText;
    return QStringLiteral("<%1:%2 '%3' %4 States, %5 Events. currentState=%6, "
                          "initialState='%7', isActive=%8>")
        .arg(QLatin1String(metaObject()->className()), plr_fsm_detail::addressText(this),
             textOrNull(m_name), QString::number(m_states.size()),
             QString::number(m_events.size()), currentText, nameOf(m_initialState),
             isActive() ? QStringLiteral("YES") : QStringLiteral("NO"));
}

QString PLRFiniteStateMachine::dotDescription() const
{
    QString dot = QStringLiteral("digraph StateMachine {\n");
    if (m_initialState)
        dot += QStringLiteral("  \"\" [style=\"invis\"]; \"\" -> \"%1\" [dir=both, arrowtail=dot]; "
                              "// Initial State\n")
                   .arg(m_initialState->name());
    if (const PLRFiniteStatePtr current = currentState())
        dot += QStringLiteral("  \"%1\" [style=bold]; // Current State\n").arg(current->name());
    for (const PLRFiniteEventPtr& event : m_events) {
        if (!event->sourceStates())
            continue;
        for (const PLRFiniteStatePtr& source : *event->sourceStates()) {
            dot += QStringLiteral("  \"%1\" -> \"%2\" [label=\"%3\", fontname=\"Menlo Italic\", "
                                  "fontsize=9];\n")
                       .arg(nameOf(source), nameOf(event->destinationState()), event->name());
        }
    }
    dot += QLatin1Char('}');
    return dot;
}

// ---- Copying and archiving -----------------------------------------------------------------

std::unique_ptr<PLRFiniteStateMachine> PLRFiniteStateMachine::copy() const
{
    auto machine = std::make_unique<PLRFiniteStateMachine>();
    for (const PLRFiniteStatePtr& state : m_states)
        machine->addState(state->copy());
    machine->setInitialState(m_initialState ? machine->stateNamed(m_initialState->name())
                                            : nullptr);

    for (const PLRFiniteEventPtr& event : m_events) {
        PLRFiniteEvent::SourceStates sources;
        if (event->sourceStates()) {
            sources.emplace();
            for (const PLRFiniteStatePtr& source : *event->sourceStates())
                sources->append(machine->stateNamed(source->name()));
        }
        machine->addEvent(PLRFiniteEvent::eventWithName(
            event->name(), sources, machine->stateNamed(event->destinationState()->name())));
    }
    return machine;
}

QVariantMap PLRFiniteStateMachine::encode() const
{
    QVariantList states;
    for (const PLRFiniteStatePtr& state : m_states)
        states.append(state->encode());
    QVariantList events;
    for (const PLRFiniteEventPtr& event : m_events)
        events.append(event->encode());

    QVariantMap map{
        {key(plr_fsm_detail::kClassKey), key(kClassName)},
        {key(kStatesKey), states},
        {key(kEventsKey), events},
        {key(kIsActiveKey), isActive()},
    };
    if (m_initialState)
        map.insert(key(kInitialStateKey), m_initialState->encode());
    if (const PLRFiniteStatePtr current = currentState())
        map.insert(key(kCurrentStateKey), current->encode());
    return map;
}

std::unique_ptr<PLRFiniteStateMachine> PLRFiniteStateMachine::decode(const QVariantMap& archive)
{
    if (archive.value(key(plr_fsm_detail::kClassKey)).toString() != key(kClassName))
        return nullptr;

    // Every archived state decodes to one object per name, so that the events, the initial and
    // the current state share the machine's state objects.
    QHash<QString, PLRFiniteStatePtr> statesByName;
    const auto resolve = [&statesByName](const QVariantMap& stateArchive) -> PLRFiniteStatePtr {
        PLRFiniteStatePtr state = PLRFiniteState::decode(stateArchive);
        if (!state)
            return nullptr;
        const auto known = statesByName.constFind(state->name());
        if (known != statesByName.constEnd())
            return known.value();
        statesByName.insert(state->name(), state);
        return state;
    };

    QList<PLRFiniteStatePtr> states;
    for (const QVariant& value : archive.value(key(kStatesKey)).toList()) {
        PLRFiniteStatePtr state = PLRFiniteState::decode(value.toMap());
        if (!state || statesByName.contains(state->name()))
            return nullptr;
        statesByName.insert(state->name(), state);
        states.append(state);
    }

    QList<PLRFiniteEventPtr> events;
    for (const QVariant& value : archive.value(key(kEventsKey)).toList()) {
        PLRFiniteEventPtr event = PLRFiniteEvent::decode(value.toMap(), resolve);
        if (!event)
            return nullptr;
        events.append(event);
    }

    const auto optionalState = [&](const char* stateKey, PLRFiniteStatePtr* state) {
        const QVariant value = archive.value(key(stateKey));
        if (!value.isValid())
            return true;
        *state = resolve(value.toMap());
        return *state != nullptr;
    };
    PLRFiniteStatePtr initial;
    PLRFiniteStatePtr current;
    if (!optionalState(kInitialStateKey, &initial) || !optionalState(kCurrentStateKey, &current))
        return nullptr;

    auto machine = std::make_unique<PLRFiniteStateMachine>();
    machine->setInitialState(initial);
    machine->setCurrentState(current);
    machine->m_states = states;
    machine->m_events = events;
    machine->m_active = archive.value(key(kIsActiveKey)).toBool();
    return machine;
}

QByteArray PLRFiniteStateMachine::archive() const
{
    return plr_fsm_detail::encodeArchive(encode());
}

std::unique_ptr<PLRFiniteStateMachine> PLRFiniteStateMachine::unarchive(const QByteArray& data)
{
    QVariantMap map;
    if (!plr_fsm_detail::decodeArchive(data, &map))
        return nullptr;
    return decode(map);
}
