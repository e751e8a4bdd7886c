#include "platform/UndoManager.h"
#include "platform/Threads.h"

#include "platform/Log.h"

#include <algorithm>

namespace platform {

namespace {
constexpr const char* kOwnedUndoManagerName = "platform.UndoManager";
}

UndoManager::UndoManager(QObject* parent) : QObject(parent) {}

UndoManager::~UndoManager() = default;

UndoManager* UndoManager::forOwner(QObject* owner)
{
    if (!owner)
        return nullptr;
    const QString name = QString::fromLatin1(kOwnedUndoManagerName);
    if (auto* existing = owner->findChild<UndoManager*>(name, Qt::FindDirectChildrenOnly))
        return existing;
    auto* manager = new UndoManager(owner);
    manager->setObjectName(name);
    return manager;
}

// --- Registering -------------------------------------------------------------------------------

void UndoManager::registerUndo(QObject* target, Action action)
{
    PLR_ASSERT_MAIN_THREAD();
    if (!action || !isUndoRegistrationEnabled())
        return;
    if (m_open.empty()) {
        if (!m_groupsByEvent) {
            PLR_LOG_WARN(QStringLiteral("An undo action was registered outside any undo group; dropped"));
            return;
        }
        Group automatic;
        automatic.automatic = true;
        m_open.push_back(std::move(automatic));
        if (!m_autoCloseScheduled) {
            m_autoCloseScheduled = true;
            QMetaObject::invokeMethod(this, [this] {
                m_autoCloseScheduled = false;
                closeAutomaticGroup();
            }, Qt::QueuedConnection);
        }
    }
    if (!m_undoing && !m_redoing && !m_redoStack.empty()) {
        m_redoStack.clear();
        emit changed();
    }
    Entry entry;
    entry.action = std::move(action);
    entry.target = target;
    entry.hasTarget = target != nullptr;
    m_open.back().entries.push_back(std::move(entry));
}

void UndoManager::setActionName(const QString& name)
{
    if (!m_open.empty()) {
        m_open.front().name = name;
    } else {
        std::vector<Group>& stack = recordingStack();
        if (stack.empty())
            return;
        stack.back().name = name;
    }
    emit changed();
}

void UndoManager::beginUndoGrouping()
{
    m_open.push_back(Group());
}

void UndoManager::endUndoGrouping()
{
    if (m_open.empty()) {
        PLR_LOG_WARN(QStringLiteral("endUndoGrouping without an open undo group; ignored"));
        return;
    }
    closeGroup();
}

void UndoManager::closeGroup()
{
    Group group = std::move(m_open.back());
    m_open.pop_back();
    if (!m_open.empty()) {
        Group& outer = m_open.back();
        for (Entry& entry : group.entries)
            outer.entries.push_back(std::move(entry));
        if (outer.name.isEmpty())
            outer.name = group.name;
        return;
    }
    if (!group.entries.empty())
        pushGroup(std::move(group));
}

void UndoManager::pushGroup(Group group)
{
    group.automatic = false;
    std::vector<Group>& stack = recordingStack();
    stack.push_back(std::move(group));
    trim(stack);
    emit changed();
}

void UndoManager::trim(std::vector<Group>& stack)
{
    if (m_levels <= 0 || qint64(stack.size()) <= m_levels)
        return;
    stack.erase(stack.begin(), stack.begin() + (qint64(stack.size()) - m_levels));
}

void UndoManager::closeAutomaticGroup()
{
    if (m_open.size() == 1 && m_open.front().automatic)
        closeGroup();
    else if (!m_open.empty() && m_open.front().automatic)
        PLR_LOG_WARN(QStringLiteral("The undo group of this event still has open groups inside it"));
}

void UndoManager::enableUndoRegistration()
{
    if (m_disabled == 0) {
        PLR_LOG_WARN(QStringLiteral("enableUndoRegistration without a matching disable; ignored"));
        return;
    }
    --m_disabled;
}

void UndoManager::setLevelsOfUndo(qint64 levels)
{
    m_levels = std::max<qint64>(0, levels);
    trim(m_undoStack);
    trim(m_redoStack);
    emit changed();
}

// --- Undoing -----------------------------------------------------------------------------------

bool UndoManager::canUndo() const
{
    if (!m_undoStack.empty())
        return true;
    // The group of this event is closed by undo() first.
    return m_open.size() == 1 && m_open.front().automatic && !m_open.front().entries.empty();
}

bool UndoManager::canRedo() const
{
    return !m_redoStack.empty();
}

void UndoManager::undo()
{
    PLR_ASSERT_MAIN_THREAD();
    if (m_undoing || m_redoing) {
        PLR_LOG_WARN(QStringLiteral("undo while undoing or redoing; ignored"));
        return;
    }
    closeAutomaticGroup();
    if (!m_open.empty()) {
        PLR_LOG_WARN(QStringLiteral("undo with an undo group open; ignored"));
        return;
    }
    emit willUndo();
    closeAutomaticGroup();
    if (m_undoStack.empty() || !m_open.empty())
        return;
    run(true);
}

void UndoManager::redo()
{
    PLR_ASSERT_MAIN_THREAD();
    if (m_undoing || m_redoing) {
        PLR_LOG_WARN(QStringLiteral("redo while undoing or redoing; ignored"));
        return;
    }
    closeAutomaticGroup();
    if (!m_open.empty()) {
        PLR_LOG_WARN(QStringLiteral("redo with an undo group open; ignored"));
        return;
    }
    emit willRedo();
    closeAutomaticGroup();
    if (m_redoStack.empty() || !m_open.empty())
        return;
    run(false);
}

void UndoManager::run(bool undoing)
{
    std::vector<Group>& source = undoing ? m_undoStack : m_redoStack;
    Group group = std::move(source.back());
    source.pop_back();

    (undoing ? m_undoing : m_redoing) = true;
    Group recording;
    recording.name = group.name;
    m_open.push_back(std::move(recording));
    for (auto it = group.entries.rbegin(); it != group.entries.rend(); ++it) {
        if (it->hasTarget && !it->target)
            continue;   // its target is gone
        it->action();
    }
    if (m_open.size() > 1)
        PLR_LOG_WARN(QStringLiteral("An undo action left %1 undo groups open; closing them").arg(m_open.size() - 1));
    while (!m_open.empty())
        closeGroup();
    (undoing ? m_undoing : m_redoing) = false;

    emit changed();
    if (undoing)
        emit didUndo();
    else
        emit didRedo();
}

QString UndoManager::undoActionName() const
{
    return m_undoStack.empty() ? QString() : m_undoStack.back().name;
}

QString UndoManager::redoActionName() const
{
    return m_redoStack.empty() ? QString() : m_redoStack.back().name;
}

QString UndoManager::undoMenuItemTitle() const
{
    const QString name = undoActionName();
    return name.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo %1").arg(name);
}

QString UndoManager::redoMenuItemTitle() const
{
    const QString name = redoActionName();
    return name.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo %1").arg(name);
}

void UndoManager::removeAllActions()
{
    m_undoStack.clear();
    m_redoStack.clear();
    m_open.clear();
    emit changed();
}

void UndoManager::removeAllActionsWithTarget(QObject* target)
{
    if (!target)
        return;
    auto drop = [target](Group& group) {
        std::erase_if(group.entries, [target](const Entry& entry) { return entry.hasTarget && entry.target == target; });
    };
    for (std::vector<Group>* stack : {&m_undoStack, &m_redoStack}) {
        for (Group& group : *stack)
            drop(group);
        std::erase_if(*stack, [](const Group& group) { return group.entries.empty(); });
    }
    for (Group& group : m_open)
        drop(group);
    emit changed();
}

} // namespace platform
