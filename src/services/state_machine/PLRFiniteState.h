#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

class PLRFiniteState;
class PLRFiniteTransition;

using PLRFiniteStatePtr = std::shared_ptr<PLRFiniteState>;
using PLRFiniteTransitionPtr = std::shared_ptr<PLRFiniteTransition>;

// A named state of a finite-state machine. States are held by shared pointer and compared by
// identity. The name is fixed at creation and never blank; names are unique within a machine.
//
// The enter/exit hooks get the state and the transition being performed. When a machine is
// activated the initial state's enter hooks run with a null transition.
class PLRFiniteState {
public:
    using Block = std::function<void(const PLRFiniteStatePtr& state,
                                     const PLRFiniteTransitionPtr& transition)>;

    // Throws the invalid-argument PLRFiniteStateMachineException when name is blank.
    static PLRFiniteStatePtr stateWithName(const QString& name, const QVariantMap& userInfo = {});

    PLRFiniteState(const PLRFiniteState&) = delete;
    PLRFiniteState& operator=(const PLRFiniteState&) = delete;

    const QString& name() const { return m_name; }

    const QVariantMap& userInfo() const { return m_userInfo; }
    void setUserInfo(const QVariantMap& userInfo) { m_userInfo = userInfo; }

    const Block& willEnterStateBlock() const { return m_willEnterStateBlock; }
    void setWillEnterStateBlock(Block block) { m_willEnterStateBlock = std::move(block); }
    const Block& didEnterStateBlock() const { return m_didEnterStateBlock; }
    void setDidEnterStateBlock(Block block) { m_didEnterStateBlock = std::move(block); }
    const Block& willExitStateBlock() const { return m_willExitStateBlock; }
    void setWillExitStateBlock(Block block) { m_willExitStateBlock = std::move(block); }
    const Block& didExitStateBlock() const { return m_didExitStateBlock; }
    void setDidExitStateBlock(Block block) { m_didExitStateBlock = std::move(block); }

    // "<PLRFiniteState:0x... 'name'>"
    QString description() const;

    // A new state with the same name and the same four hooks; the user info is not copied.
    PLRFiniteStatePtr copy() const;

    // Archiving keeps the name only (no hooks, no user info).
    QVariantMap encode() const;
    // Null when the map is not an archived state.
    static PLRFiniteStatePtr decode(const QVariantMap& archive);
    QByteArray archive() const;
    static PLRFiniteStatePtr unarchive(const QByteArray& data);

private:
    explicit PLRFiniteState(QString name);

    QString m_name;
    QVariantMap m_userInfo;
    Block m_willEnterStateBlock;
    Block m_didEnterStateBlock;
    Block m_willExitStateBlock;
    Block m_didExitStateBlock;
};
