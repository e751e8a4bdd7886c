#include "canvas/interaction/PLRLayoutSnapshot.h"

#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutTree.h"
#include "platform/Log.h"
#include "platform/UndoManager.h"

#include <QSet>

PLRLayoutSnapshot PLRLayoutSnapshot::capture(const PLRLayout& layout, const QList<int>& sectionIndices)
{
    PLRLayoutSnapshot snapshot;
    snapshot.m_sectionCount = layout.sections_size();
    for (int index : sectionIndices) {
        if (index >= 0 && index < layout.sections_size())
            snapshot.m_sections[index] = plr::data(layout.sections(index));
    }
    return snapshot;
}

QList<int> PLRLayoutSnapshot::sectionIndices() const
{
    QList<int> indices;
    for (const auto& entry : m_sections)
        indices.append(entry.first);
    return indices;
}

void PLRLayoutSnapshot::apply(PLRLayoutManager* manager) const
{
    if (!manager)
        return;
    PLRLayout* layout = manager->representedLayout();
    while (layout->sections_size() > m_sectionCount)
        manager->removeSection(layout->mutable_sections(layout->sections_size() - 1));
    while (layout->sections_size() < m_sectionCount)
        manager->addNewSection();
    for (const auto& [index, bytes] : m_sections) {
        if (index >= layout->sections_size())
            continue;
        PLRSection section;
        platform::Error error;
        if (!plr::parseFromData(&section, bytes, &error)) {
            PLR_LOG_ERROR(QStringLiteral("A section snapshot could not be read back: %1").arg(error.localizedDescription()));
            continue;
        }
        manager->restoreSection(layout->mutable_sections(index), section);
    }
}

PLRLayoutChangeRecorder::PLRLayoutChangeRecorder(PLRLayoutManager* manager, platform::UndoManager* undoManager,
                                                 const QList<const PLRSection*>& sections, const QString& actionName)
    : m_manager(manager), m_undoManager(undoManager), m_actionName(actionName)
{
    if (!manager)
        return;
    QList<int> indices;
    for (const PLRSection* section : sections) {
        const int index = plr::tree::indexOfSection(manager->representedLayout(), section);
        if (index >= 0 && !indices.contains(index))
            indices.append(index);
    }
    m_before = PLRLayoutSnapshot::capture(*manager->representedLayout(), indices);
    m_active = true;
}

bool PLRLayoutChangeRecorder::commit()
{
    if (!m_active || !m_manager)
        return false;
    m_active = false;
    const PLRLayout& layout = *m_manager->representedLayout();
    QList<int> indices = m_before.sectionIndices();
    for (int index = m_before.sectionCount(); index < layout.sections_size(); ++index)
        indices.append(index);
    const PLRLayoutSnapshot after = PLRLayoutSnapshot::capture(layout, indices);
    if (after == m_before || !m_undoManager)
        return false;
    if (m_undoManager->isUndoing() || m_undoManager->isRedoing()) {
        // An undo or redo is under way: this change is part of it and is not recorded again.
        PLR_LOG_DEBUG(QStringLiteral("A canvas change during undo or redo was not recorded"));
        return false;
    }
    m_undoManager->beginUndoGrouping();
    registerRestore(m_undoManager, m_manager, m_before, after, m_actionName);
    m_undoManager->setActionName(m_actionName);
    m_undoManager->endUndoGrouping();
    return true;
}

void PLRLayoutChangeRecorder::registerRestore(platform::UndoManager* undoManager, PLRLayoutManager* manager,
                                              const PLRLayoutSnapshot& target, const PLRLayoutSnapshot& other,
                                              const QString& actionName)
{
    if (!undoManager || !manager)
        return;
    QPointer<platform::UndoManager> undo(undoManager);
    QPointer<PLRLayoutManager> layoutManager(manager);
    undoManager->registerUndo(manager, [undo, layoutManager, target, other, actionName] {
        if (!layoutManager)
            return;
        target.apply(layoutManager);
        if (undo) {
            registerRestore(undo, layoutManager, other, target, actionName);
            undo->setActionName(actionName);
        }
    });
}
