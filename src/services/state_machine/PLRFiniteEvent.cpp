#include "services/state_machine/PLRFiniteEvent.h"

#include "services/state_machine/PLRFiniteStateMachineErrors.h"
#include "services/state_machine/PLRFiniteSupport.h"

#include <QHash>
#include <QStringList>
#include <QVariantList>

namespace {
constexpr char kClassName[] = "PLRFiniteEvent";
constexpr char kNameKey[] = "name";
constexpr char kSourceStatesKey[] = "sourceStates";
constexpr char kDestinationStateKey[] = "destinationState";

QString quotedStateName(const PLRFiniteStatePtr& state)
{
    return QLatin1Char('\'') + plr_fsm_detail::textOrNull(state ? state->name() : QString())
        + QLatin1Char('\'');
}

// "'A'", "'A' and 'B'", "'A', 'B' and 'C'"
QString sourceStatesText(const PLRFiniteEvent::SourceStates& sourceStates)
{
    if (!sourceStates || sourceStates->isEmpty())
        return QStringLiteral("any state");
    QStringList quoted;
    for (const PLRFiniteStatePtr& state : *sourceStates)
        quoted.append(quotedStateName(state));
    if (quoted.size() == 1)
        return quoted.first();
    const QString last = quoted.takeLast();
    return quoted.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}
} // namespace

PLRFiniteEvent::PLRFiniteEvent(QString name, SourceStates sourceStates,
                               PLRFiniteStatePtr destinationState)
    : m_name(std::move(name)),
      m_sourceStates(std::move(sourceStates)),
      m_destinationState(std::move(destinationState))
{
}

PLRFiniteEventPtr PLRFiniteEvent::eventWithName(const QString& name,
                                                const SourceStates& sourceStates,
                                                const PLRFiniteStatePtr& destinationState)
{
    if (name.isEmpty())
        throw PLRFiniteStateMachineException::invalidArgument(
            QStringLiteral("The event name cannot be blank."));
    if (!destinationState)
        throw PLRFiniteStateMachineException::invalidArgument(
            QStringLiteral("The destination state cannot be nil."));
    return PLRFiniteEventPtr(new PLRFiniteEvent(name, sourceStates, destinationState));
}

QString PLRFiniteEvent::description() const
{
    return QStringLiteral("<%1:%2 '%3' transitions from %4 to %5>")
        .arg(QLatin1String(kClassName), plr_fsm_detail::addressText(this), m_name,
             sourceStatesText(m_sourceStates), quotedStateName(m_destinationState));
}

PLRFiniteEventPtr PLRFiniteEvent::copy() const
{
    PLRFiniteEventPtr event(new PLRFiniteEvent(m_name, m_sourceStates, m_destinationState));
    event->m_shouldFireEventBlock = m_shouldFireEventBlock;
    event->m_willFireEventBlock = m_willFireEventBlock;
    event->m_didFireEventBlock = m_didFireEventBlock;
    return event;
}

QVariantMap PLRFiniteEvent::encode() const
{
    QVariantMap map{
        {QLatin1String(plr_fsm_detail::kClassKey), QLatin1String(kClassName)},
        {QLatin1String(kNameKey), m_name},
        {QLatin1String(kDestinationStateKey), m_destinationState->encode()},
    };
    if (m_sourceStates) {
        QVariantList sources;
        for (const PLRFiniteStatePtr& state : *m_sourceStates)
            sources.append(state ? QVariant(state->encode()) : QVariant());
        map.insert(QLatin1String(kSourceStatesKey), sources);
    }
    return map;
}

PLRFiniteEventPtr PLRFiniteEvent::decode(const QVariantMap& archive)
{
    QHash<QString, PLRFiniteStatePtr> decoded;
    return decode(archive, [&decoded](const QVariantMap& stateArchive) -> PLRFiniteStatePtr {
        PLRFiniteStatePtr state = PLRFiniteState::decode(stateArchive);
        if (!state)
            return nullptr;
        auto known = decoded.constFind(state->name());
        if (known != decoded.constEnd())
            return known.value();
        decoded.insert(state->name(), state);
        return state;
    });
}

PLRFiniteEventPtr PLRFiniteEvent::decode(
    const QVariantMap& archive,
    const std::function<PLRFiniteStatePtr(const QVariantMap&)>& resolveState)
{
    if (archive.value(QLatin1String(plr_fsm_detail::kClassKey)).toString()
        != QLatin1String(kClassName))
        return nullptr;
    const QString name = archive.value(QLatin1String(kNameKey)).toString();
    if (name.isEmpty())
        return nullptr;

    const PLRFiniteStatePtr destination =
        resolveState(archive.value(QLatin1String(kDestinationStateKey)).toMap());
    if (!destination)
        return nullptr;

    SourceStates sources;
    const QVariant sourcesValue = archive.value(QLatin1String(kSourceStatesKey));
    if (sourcesValue.isValid()) {
        if (sourcesValue.typeId() != QMetaType::QVariantList)
            return nullptr;
        sources.emplace();
        for (const QVariant& stateArchive : sourcesValue.toList()) {
            PLRFiniteStatePtr state = resolveState(stateArchive.toMap());
            if (!state)
                return nullptr;
            sources->append(state);
        }
    }
    return PLRFiniteEventPtr(new PLRFiniteEvent(name, std::move(sources), destination));
}

QByteArray PLRFiniteEvent::archive() const
{
    return plr_fsm_detail::encodeArchive(encode());
}

PLRFiniteEventPtr PLRFiniteEvent::unarchive(const QByteArray& data)
{
    QVariantMap map;
    if (!plr_fsm_detail::decodeArchive(data, &map))
        return nullptr;
    return decode(map);
}
