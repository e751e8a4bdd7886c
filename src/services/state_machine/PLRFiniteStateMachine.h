#pragma once

#include "services/state_machine/PLRFiniteEvent.h"
#include "services/state_machine/PLRFiniteState.h"
#include "services/state_machine/PLRFiniteStateMachineErrors.h"
#include "services/state_machine/PLRFiniteTransition.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <memory>

namespace platform {
struct Error;
}

// A finite-state machine over named states and events.
//
// Lifecycle: assemble it (states first, then the events between them), then activate it, or
// just fire an event, which activates it first. Once active the structure is frozen: changing
// the initial state or adding states or events throws PLRFiniteStateMachineIsImmutableException.
//
// Firing an event runs, in this order: the event's willFire hook, the old state's willExit hook,
// the new state's willEnter hook; the new state becomes current; the change is logged and
// PLRFiniteStateMachineDidChangeStateNotification is posted; then the old state's didExit hook,
// the new state's didEnter hook and the event's didFire hook. An event whose destination is the
// current state is a full transition too.
//
// Threading: activate() and fireEvent() hold a recursive lock for their whole run, hooks and
// notification observers included, so a hook or observer may fire another event on the same
// machine from the same thread. The nested fire completes inside the outer one, which then goes
// on with its remaining hooks. Assembly, canFireEvent(), isInState() and the lookups take no lock;
// currentState() may be read from any thread.
class PLRFiniteStateMachine : public QObject {
    Q_OBJECT

public:
    explicit PLRFiniteStateMachine(QObject* parent = nullptr);
    explicit PLRFiniteStateMachine(const QString& name, QObject* parent = nullptr);
    ~PLRFiniteStateMachine() override;

    PLRFiniteStateMachine(const PLRFiniteStateMachine&) = delete;
    PLRFiniteStateMachine& operator=(const PLRFiniteStateMachine&) = delete;

    // Null when the machine was made without a name.
    const QString& name() const { return m_name; }

    // The first state added becomes the initial state unless one was set before.
    PLRFiniteStatePtr initialState() const { return m_initialState; }
    void setInitialState(const PLRFiniteStatePtr& initialState);

    // Null until the machine is activated.
    PLRFiniteStatePtr currentState() const;

    // Snapshots, in the order the states and events were added.
    QList<PLRFiniteStatePtr> states() const { return m_states; }
    QList<PLRFiniteEventPtr> events() const { return m_events; }

    bool isActive() const { return m_active.load(); }

    // Throws the invalid-argument exception for a null state or a name already present.
    void addState(const PLRFiniteStatePtr& state);
    void addStates(const QList<PLRFiniteStatePtr>& states);
    // Every state the event names must have been added to this machine before.
    void addEvent(const PLRFiniteEventPtr& event);
    void addEvents(const QList<PLRFiniteEventPtr>& events);

    PLRFiniteStatePtr stateNamed(const QString& name) const;
    // The first event with that name, in the order events were added.
    PLRFiniteEventPtr eventNamed(const QString& name) const;

    // Throws the invalid-argument exception for a null state or an unknown name.
    bool isInState(const PLRFiniteStatePtr& state) const;
    bool isInState(const QString& stateName) const;

    // Whether the event's source states allow a fire from the current state (true when the event
    // has no source list). The event's shouldFireEventBlock is not consulted.
    // Throws the invalid-argument exception for a null event or an unknown name.
    bool canFireEvent(const PLRFiniteEventPtr& event) const;
    bool canFireEvent(const QString& eventName) const;

    // Enters the initial state (its enter hooks run with a null transition). Neither logs nor
    // posts. Throws the internal-inconsistency exception when already active.
    void activate();

    // True when the machine changed state. False when the fire was refused (the event cannot be
    // fired from the current state, or its shouldFireEventBlock declined); *error then describes
    // the refusal, when error is not null. Activates the machine first when needed.
    // Throws the invalid-argument exception for a null event or an unknown event name.
    bool fireEvent(const PLRFiniteEventPtr& event, const QVariantMap& userInfo = {},
                   platform::Error* error = nullptr);
    bool fireEvent(const QString& eventName, const QVariantMap& userInfo = {},
                   platform::Error* error = nullptr);

    QString description() const;
    // The machine as a Graphviz digraph.
    QString dotDescription() const;

    // An inactive, unnamed machine with copies of the states (hooks kept) and events rebuilt
    // between the copied states (without hooks). The current state is not carried.
    std::unique_ptr<PLRFiniteStateMachine> copy() const;

    // Archiving keeps the states, events, initial and current state and the active flag; not the
    // name, hooks or user info.
    QVariantMap encode() const;
    // Null when the map is not an archived machine. Throws the invalid-argument exception when
    // the archive has no current state (a machine archived before it was activated).
    static std::unique_ptr<PLRFiniteStateMachine> decode(const QVariantMap& archive);
    QByteArray archive() const;
    static std::unique_ptr<PLRFiniteStateMachine> unarchive(const QByteArray& data);

private:
    void setCurrentState(const PLRFiniteStatePtr& state);
    void throwIfActive() const;
    bool performFire(const PLRFiniteEventPtr& event, const QVariantMap& userInfo,
                     platform::Error* error);

    QString m_name;
    PLRFiniteStatePtr m_initialState;
    QList<PLRFiniteStatePtr> m_states;
    QList<PLRFiniteEventPtr> m_events;
    std::atomic<bool> m_active{false};

    // Held for the whole of activate() and fireEvent().
    QRecursiveMutex m_lock;

    // Guards m_currentState only, so that it can be read from any thread.
    mutable QMutex m_currentStateMutex;
    PLRFiniteStatePtr m_currentState;
};
