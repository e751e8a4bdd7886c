#pragma once

#include "services/state_machine/PLRFiniteState.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class PLRFiniteEvent;
using PLRFiniteEventPtr = std::shared_ptr<PLRFiniteEvent>;

// A named event that moves a machine from one of its source states to its destination state.
// Events are held by shared pointer and compared by identity; their names need not be unique.
//
// sourceStates is an ordered list. No list (std::nullopt) means the event can be fired from any
// state; an empty list means it can be fired from none.
class PLRFiniteEvent {
public:
    using SourceStates = std::optional<QList<PLRFiniteStatePtr>>;
    using Block = std::function<void(const PLRFiniteEventPtr& event,
                                     const PLRFiniteTransitionPtr& transition)>;
    using ShouldFireBlock = std::function<bool(const PLRFiniteEventPtr& event,
                                               const PLRFiniteTransitionPtr& transition)>;

    // Throws the invalid-argument PLRFiniteStateMachineException when the name is blank or the
    // destination is null.
    static PLRFiniteEventPtr eventWithName(const QString& name, const SourceStates& sourceStates,
                                           const PLRFiniteStatePtr& destinationState);

    PLRFiniteEvent(const PLRFiniteEvent&) = delete;
    PLRFiniteEvent& operator=(const PLRFiniteEvent&) = delete;

    const QString& name() const { return m_name; }
    const SourceStates& sourceStates() const { return m_sourceStates; }
    const PLRFiniteStatePtr& destinationState() const { return m_destinationState; }

    // Asked before anything changes; returning false declines the fire (error 1001).
    const ShouldFireBlock& shouldFireEventBlock() const { return m_shouldFireEventBlock; }
    void setShouldFireEventBlock(ShouldFireBlock block) { m_shouldFireEventBlock = std::move(block); }
    const Block& willFireEventBlock() const { return m_willFireEventBlock; }
    void setWillFireEventBlock(Block block) { m_willFireEventBlock = std::move(block); }
    const Block& didFireEventBlock() const { return m_didFireEventBlock; }
    void setDidFireEventBlock(Block block) { m_didFireEventBlock = std::move(block); }

    // "<PLRFiniteEvent:0x... 'name' transitions from 'A', 'B' and 'C' to 'D'>", or
    // "... transitions from any state to 'D'>" when there is no (or an empty) source list.
    QString description() const;

    // Same name, the same source and destination state objects and the same three hooks.
    PLRFiniteEventPtr copy() const;

    // Archiving keeps the name, the source states and the destination state (no hooks).
    QVariantMap encode() const;
    // Null when the map is not an archived event. A state archived more than once (by name)
    // decodes to one object.
    static PLRFiniteEventPtr decode(const QVariantMap& archive);
    // As above, with the caller turning each archived state into a state object (or null to
    // reject the archive).
    static PLRFiniteEventPtr decode(
        const QVariantMap& archive,
        const std::function<PLRFiniteStatePtr(const QVariantMap&)>& resolveState);
    QByteArray archive() const;
    static PLRFiniteEventPtr unarchive(const QByteArray& data);

private:
    PLRFiniteEvent(QString name, SourceStates sourceStates, PLRFiniteStatePtr destinationState);

    QString m_name;
    SourceStates m_sourceStates;
    PLRFiniteStatePtr m_destinationState;
    ShouldFireBlock m_shouldFireEventBlock;
    Block m_willFireEventBlock;
    Block m_didFireEventBlock;
};
