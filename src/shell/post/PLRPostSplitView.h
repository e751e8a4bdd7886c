#pragma once

#include <QHash>
#include <QPointer>
#include <QSplitter>
#include <QStringList>

// The post's three panes side by side with thin dividers. With an autosave name it keeps each
// pane's frame in the user defaults under "NSSplitView Subview Frames <name>", one string per
// pane in pane order: "x, y, width, height, collapsed, hidden" (YES or NO).
//
// A window too narrow for every pane at its minimum width (a small screen, a large scale) makes
// the panes give way, in this order: the pane set to give way first (the gallery) narrows from
// its minimum down to its narrowest width; then the other panes narrow to their minimums (the
// stretching canvas does so first anyway); and where even that does not fit, the first pane is
// left out for want of room, until the split view is wide enough for it again (it is not
// collapsed: the user's choice stays as it was). A pane that keeps its width (minimum equal to
// maximum: the inspector, with Publish) never gives way; a pane that stretches narrows below
// its minimum only as the last resort.
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

    // A pane's minimum width where there is room for it (its maximum is its own).
    void setPaneMinimumWidth(QWidget* pane, int width);
    // The pane that gives way first, and the narrowest it is shown at.
    void setGivesWayFirst(QWidget* pane, int narrowest);
    // The pane is hidden for want of room (not collapsed).
    bool isLeftOutForRoom(QWidget* pane) const { return pane && pane == m_leftOut; }

    // The frames as they are stored, and storing them now.
    QStringList frameStrings() const;
    void saveFrames() const;

    // As narrow as the panes can give way to: the panes that keep their width.
    QSize minimumSizeHint() const override;

    static constexpr int kDividerThickness = 1;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Sets the panes' minimum widths and the first pane's place for the width.
    void giveWay(int width);
    int wantedMinimum(QWidget* pane) const;
    bool keepsItsWidth(QWidget* pane) const;

    QString m_autosaveName;
    QHash<QWidget*, int> m_minimumWidths;
    QList<QPointer<QWidget>> m_collapsed;
    QPointer<QWidget> m_givesWayFirst;
    int m_narrowest = 0;
    QPointer<QWidget> m_leftOut;
};
