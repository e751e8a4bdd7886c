#pragma once

#include "services/state_machine/PLRFiniteEvent.h"
#include "services/state_machine/PLRFiniteState.h"

#include <QMetaType>
#include <QVariantMap>

#include <memory>

class PLRFiniteStateMachine;

// One change of state in progress: the event being fired, the state the machine was in when
// the fire began, the machine and the caller's user info. Handed to every hook of a fire and
// carried in the change notification.
class PLRFiniteTransition {
public:
    static PLRFiniteTransitionPtr transitionForEvent(const PLRFiniteEventPtr& event,
                                                     const PLRFiniteStatePtr& sourceState,
                                                     PLRFiniteStateMachine* stateMachine,
                                                     const QVariantMap& userInfo);

    PLRFiniteTransition(const PLRFiniteTransition&) = delete;
    PLRFiniteTransition& operator=(const PLRFiniteTransition&) = delete;

    const PLRFiniteEventPtr& event() const { return m_event; }
    const PLRFiniteStatePtr& sourceState() const { return m_sourceState; }
    // The event's destination.
    PLRFiniteStatePtr destinationState() const;
    PLRFiniteStateMachine* stateMachine() const { return m_stateMachine; }
    // Empty when the caller gave none.
    const QVariantMap& userInfo() const { return m_userInfo; }

private:
    PLRFiniteTransition(PLRFiniteEventPtr event, PLRFiniteStatePtr sourceState,
                        PLRFiniteStateMachine* stateMachine, QVariantMap userInfo);

    PLRFiniteEventPtr m_event;
    PLRFiniteStatePtr m_sourceState;
    PLRFiniteStateMachine* m_stateMachine;
    QVariantMap m_userInfo;
};

Q_DECLARE_METATYPE(PLRFiniteTransitionPtr)
