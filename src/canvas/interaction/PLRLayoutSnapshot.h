#pragma once

#include "store/model/PLRLayoutDocument.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>

#include <map>

class PLRLayoutManager;

namespace platform {
class UndoManager;
}

// The protobuf bytes of some sections of a layout and the layout's number of sections: what
// an edit changes, taken before and after it. Applying a snapshot through the layout manager
// gives those sections back byte for byte (and removes or adds sections to the count).
class PLRLayoutSnapshot {
public:
    PLRLayoutSnapshot() = default;
    // The sections at the indices (indices outside the layout are left out).
    static PLRLayoutSnapshot capture(const PLRLayout& layout, const QList<int>& sectionIndices);

    int sectionCount() const { return m_sectionCount; }
    const std::map<int, QByteArray>& sections() const { return m_sections; }
    QList<int> sectionIndices() const;

    // Makes the manager's layout match: sections beyond the count are removed, missing ones
    // added, and every captured section restored from its bytes. Unreadable bytes are logged
    // and skipped.
    void apply(PLRLayoutManager* manager) const;

    bool operator==(const PLRLayoutSnapshot& other) const = default;

private:
    int m_sectionCount = 0;
    std::map<int, QByteArray> m_sections;
};

// Records one undoable edit of the canvas: made before the edit with the sections it is about
// to change, committed after it. The commit registers, in a group of its own with the action
// name, an undo that restores the sections as they were and registers the redo that restores
// them as they became (and so on, undo after redo).
class PLRLayoutChangeRecorder {
public:
    PLRLayoutChangeRecorder() = default;
    PLRLayoutChangeRecorder(PLRLayoutManager* manager, platform::UndoManager* undoManager,
                            const QList<const PLRSection*>& sections, const QString& actionName);

    bool isActive() const { return m_active; }
    const PLRLayoutSnapshot& before() const { return m_before; }

    // After the edit: registers the undo; nothing when the sections did not change (or there is
    // no undo manager). Answers whether it registered.
    bool commit();
    void cancel() { m_active = false; }

    // Registers on `undoManager` an action that applies `target` and then registers the reverse.
    static void registerRestore(platform::UndoManager* undoManager, PLRLayoutManager* manager,
                                const PLRLayoutSnapshot& target, const PLRLayoutSnapshot& other, const QString& actionName);

private:
    QPointer<PLRLayoutManager> m_manager;
    QPointer<platform::UndoManager> m_undoManager;
    PLRLayoutSnapshot m_before;
    QString m_actionName;
    bool m_active = false;
};
