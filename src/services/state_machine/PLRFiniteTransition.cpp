#include "services/state_machine/PLRFiniteTransition.h"

PLRFiniteTransition::PLRFiniteTransition(PLRFiniteEventPtr event, PLRFiniteStatePtr sourceState,
                                         PLRFiniteStateMachine* stateMachine, QVariantMap userInfo)
    : m_event(std::move(event)),
      m_sourceState(std::move(sourceState)),
      m_stateMachine(stateMachine),
      m_userInfo(std::move(userInfo))
{
}

PLRFiniteTransitionPtr PLRFiniteTransition::transitionForEvent(const PLRFiniteEventPtr& event,
                                                               const PLRFiniteStatePtr& sourceState,
                                                               PLRFiniteStateMachine* stateMachine,
                                                               const QVariantMap& userInfo)
{
    return PLRFiniteTransitionPtr(new PLRFiniteTransition(event, sourceState, stateMachine, userInfo));
}

PLRFiniteStatePtr PLRFiniteTransition::destinationState() const
{
    return m_event ? m_event->destinationState() : nullptr;
}
