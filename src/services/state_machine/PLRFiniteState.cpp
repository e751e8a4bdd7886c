#include "services/state_machine/PLRFiniteState.h"

#include "services/state_machine/PLRFiniteStateMachineErrors.h"
#include "services/state_machine/PLRFiniteSupport.h"

namespace {
constexpr char kClassName[] = "PLRFiniteState";
constexpr char kNameKey[] = "name";
} // namespace

PLRFiniteState::PLRFiniteState(QString name) : m_name(std::move(name)) {}

PLRFiniteStatePtr PLRFiniteState::stateWithName(const QString& name, const QVariantMap& userInfo)
{
    if (name.isEmpty())
        throw PLRFiniteStateMachineException::invalidArgument(
            QStringLiteral("The `name` cannot be blank."));
    PLRFiniteStatePtr state(new PLRFiniteState(name));
    state->m_userInfo = userInfo;
    return state;
}

QString PLRFiniteState::description() const
{
    return QStringLiteral("<%1:%2 '%3'>")
        .arg(QLatin1String(kClassName), plr_fsm_detail::addressText(this), m_name);
}

PLRFiniteStatePtr PLRFiniteState::copy() const
{
    PLRFiniteStatePtr state(new PLRFiniteState(m_name));
    state->m_willEnterStateBlock = m_willEnterStateBlock;
    state->m_didEnterStateBlock = m_didEnterStateBlock;
    state->m_willExitStateBlock = m_willExitStateBlock;
    state->m_didExitStateBlock = m_didExitStateBlock;
    return state;
}

QVariantMap PLRFiniteState::encode() const
{
    return {
        {QLatin1String(plr_fsm_detail::kClassKey), QLatin1String(kClassName)},
        {QLatin1String(kNameKey), m_name},
    };
}

PLRFiniteStatePtr PLRFiniteState::decode(const QVariantMap& archive)
{
    if (archive.value(QLatin1String(plr_fsm_detail::kClassKey)).toString()
        != QLatin1String(kClassName))
        return nullptr;
    const QVariant name = archive.value(QLatin1String(kNameKey));
    if (name.typeId() != QMetaType::QString || name.toString().isEmpty())
        return nullptr;
    return PLRFiniteStatePtr(new PLRFiniteState(name.toString()));
}

QByteArray PLRFiniteState::archive() const
{
    return plr_fsm_detail::encodeArchive(encode());
}

PLRFiniteStatePtr PLRFiniteState::unarchive(const QByteArray& data)
{
    QVariantMap map;
    if (!plr_fsm_detail::decodeArchive(data, &map))
        return nullptr;
    return decode(map);
}
