#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

namespace platform {

// A record of undoable changes, kept as groups of actions on an undo stack and a redo stack.
//
// - An action is registered (registerUndo) while a change is made; it must undo that change.
//   Actions registered while no group is open go into a group opened for the current turn of
//   the event loop (groupsByEvent, on by default) and closed on the next turn; with
//   groupsByEvent off, such a registration is refused (logged).
// - Groups nest (beginUndoGrouping / endUndoGrouping); an inner group's actions join the outer
//   one. A top-level group that ends empty is dropped.
// - undo() runs the actions of the last undo group in reverse order of registration. Whatever
//   they register meanwhile goes into a new group on the redo stack, named as the undone group;
//   redo() does the same the other way round. A registration made outside undo and redo clears
//   the redo stack.
// - setActionName names the group being recorded (the redo group while undoing), or, with no
//   group open, the most recent group of the stack being recorded.
// - levelsOfUndo bounds the number of groups on each stack (0: no bound); the oldest go first.
//
// An action given a target is skipped once the target is destroyed, and removeAllActions with
// a target drops that target's actions.
class UndoManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY changed)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY changed)
public:
    using Action = std::function<void()>;

    explicit UndoManager(QObject* parent = nullptr);
    ~UndoManager() override;

    // The undo manager of an owner (a post manager: one per open post), made on first request
    // as the owner's child, so it goes with the owner. Null for a null owner.
    static UndoManager* forOwner(QObject* owner);

    // --- Registering --------------------------------------------------------------------------
    void registerUndo(QObject* target, Action action);
    void registerUndo(Action action) { registerUndo(nullptr, std::move(action)); }
    void setActionName(const QString& name);

    void beginUndoGrouping();
    void endUndoGrouping();
    // The number of open groups (the automatic group counts as one).
    qint64 groupingLevel() const { return qint64(m_open.size()); }
    bool groupsByEvent() const { return m_groupsByEvent; }
    void setGroupsByEvent(bool groups) { m_groupsByEvent = groups; }

    void disableUndoRegistration() { ++m_disabled; }
    void enableUndoRegistration();
    bool isUndoRegistrationEnabled() const { return m_disabled == 0; }

    qint64 levelsOfUndo() const { return m_levels; }
    void setLevelsOfUndo(qint64 levels);

    // --- Undoing ------------------------------------------------------------------------------
    bool canUndo() const;
    bool canRedo() const;
    // Refused (logged) while a group of the caller's own is open, and while undoing or redoing.
    void undo();
    void redo();
    bool isUndoing() const { return m_undoing; }
    bool isRedoing() const { return m_redoing; }

    QString undoActionName() const;
    QString redoActionName() const;
    // "Undo <name>" / "Redo <name>", or "Undo" / "Redo" for an unnamed group.
    QString undoMenuItemTitle() const;
    QString redoMenuItemTitle() const;

    // Empties both stacks and drops any open group.
    void removeAllActions();
    // Drops the actions registered with that target (groups left empty go too).
    void removeAllActionsWithTarget(QObject* target);

    qint64 undoCount() const { return qint64(m_undoStack.size()); }
    qint64 redoCount() const { return qint64(m_redoStack.size()); }

signals:
    // Before and after the actions of undo() / redo() run. A change still being recorded may
    // be finished on willUndo / willRedo (it is then the one undone).
    void willUndo();
    void didUndo();
    void willRedo();
    void didRedo();
    // The stacks or their names changed (for menu items).
    void changed();

private:
    struct Entry {
        Action action;
        QPointer<QObject> target;
        bool hasTarget = false;
    };
    struct Group {
        std::vector<Entry> entries;
        QString name;
        bool automatic = false;
    };

    std::vector<Group>& recordingStack() { return m_undoing ? m_redoStack : m_undoStack; }
    void closeGroup();
    void pushGroup(Group group);
    void trim(std::vector<Group>& stack);
    void closeAutomaticGroup();
    void run(bool undoing);

    std::vector<Group> m_undoStack;
    std::vector<Group> m_redoStack;
    std::vector<Group> m_open;
    bool m_groupsByEvent = true;
    bool m_autoCloseScheduled = false;
    bool m_undoing = false;
    bool m_redoing = false;
    int m_disabled = 0;
    qint64 m_levels = 0;
};

} // namespace platform
