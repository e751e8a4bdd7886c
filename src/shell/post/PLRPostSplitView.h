#pragma once

#include <QSplitter>
#include <QStringList>

// The post's three panes side by side with thin dividers. With an autosave name it keeps each
// pane's frame in the user defaults under "NSSplitView Subview Frames <name>", one string per
// pane in pane order: "x, y, width, height, collapsed, hidden" (YES or NO).
class PLRPostSplitView : public QSplitter {
    Q_OBJECT
public:
    explicit PLRPostSplitView(QWidget* parent = nullptr);

    QString autosaveName() const { return m_autosaveName; }
    void setAutosaveName(const QString& name) { m_autosaveName = name; }
    static QString autosaveKey(const QString& name);

    // The panes, in order (collapsed ones included).
    QList<QWidget*> arrangedSubviews() const;
    // Moves divider i (between pane i and pane i + 1) to the position, within the panes' limits.
    void setPosition(double position, int dividerIndex);
    // A collapsed pane is hidden; the others share its room.
    void setCollapsed(QWidget* pane, bool collapsed);
    bool isCollapsed(QWidget* pane) const;

    // The frames as they are stored, and storing them now.
    QStringList frameStrings() const;
    void saveFrames() const;

    static constexpr int kDividerThickness = 1;

private:
    QString m_autosaveName;
};
