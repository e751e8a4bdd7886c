#include "shell/post/PLRPostSplitView.h"

#include "platform/UserDefaults.h"

#include <QResizeEvent>

#include <algorithm>

PLRPostSplitView::PLRPostSplitView(QWidget* parent) : QSplitter(Qt::Horizontal, parent)
{
    setHandleWidth(kDividerThickness);
    setChildrenCollapsible(false);
    setOpaqueResize(true);
    setStyleSheet(QStringLiteral("QSplitter::handle { background: rgb(214, 214, 214); }"));
    connect(this, &QSplitter::splitterMoved, this, [this] { saveFrames(); });
}

QString PLRPostSplitView::autosaveKey(const QString& name)
{
    return QStringLiteral("NSSplitView Subview Frames %1").arg(name);
}

QList<QWidget*> PLRPostSplitView::arrangedSubviews() const
{
    QList<QWidget*> panes;
    for (int i = 0; i < count(); ++i)
        panes.append(widget(i));
    return panes;
}

void PLRPostSplitView::setPosition(double position, int dividerIndex)
{
    if (dividerIndex < 0 || dividerIndex + 1 >= count())
        return;
    moveSplitter(int(std::lround(position)), dividerIndex + 1);
}

void PLRPostSplitView::setCollapsed(QWidget* pane, bool collapsed)
{
    if (!pane || indexOf(pane) < 0 || isCollapsed(pane) == collapsed)
        return;
    if (collapsed)
        m_collapsed.append(pane);
    else
        m_collapsed.removeAll(pane);
    pane->setHidden(collapsed || isLeftOutForRoom(pane));
    // The room the pane takes or gives back may leave out the first pane or bring it back.
    giveWay(width());
    saveFrames();
}

bool PLRPostSplitView::isCollapsed(QWidget* pane) const
{
    return pane && m_collapsed.contains(pane);
}

void PLRPostSplitView::setPaneMinimumWidth(QWidget* pane, int width)
{
    if (!pane)
        return;
    m_minimumWidths.insert(pane, width);
    pane->setMinimumWidth(width);
    giveWay(this->width());
}

void PLRPostSplitView::setGivesWayFirst(QWidget* pane, int narrowest)
{
    m_givesWayFirst = pane;
    m_narrowest = narrowest;
    giveWay(width());
}

int PLRPostSplitView::wantedMinimum(QWidget* pane) const
{
    return m_minimumWidths.value(pane, pane->minimumWidth());
}

bool PLRPostSplitView::keepsItsWidth(QWidget* pane) const
{
    return wantedMinimum(pane) >= pane->maximumWidth();
}

void PLRPostSplitView::giveWay(int width)
{
    QList<QWidget*> shown;   // the panes the user has not collapsed
    for (QWidget* pane : arrangedSubviews())
        if (!isCollapsed(pane))
            shown.append(pane);
    if (shown.isEmpty())
        return;
    QWidget* first = m_givesWayFirst && shown.contains(m_givesWayFirst) ? m_givesWayFirst.data() : nullptr;
    int others = 0;
    for (QWidget* pane : shown)
        if (pane != first)
            others += wantedMinimum(pane);
    int handles = handleWidth() * int(shown.size() - 1);
    QWidget* leftOut = nullptr;
    int firstWidth = 0;
    if (first) {
        const int room = width - others - handles;
        firstWidth = std::min(wantedMinimum(first), room);
        if (firstWidth < std::min(m_narrowest, wantedMinimum(first))) {
            leftOut = first;
            firstWidth = 0;
            handles -= handleWidth();
        }
        first->setMinimumWidth(firstWidth);
    }
    // The panes that stretch share what the ones that keep their width and the first leave.
    int kept = 0;
    QList<QWidget*> stretching;
    for (QWidget* pane : shown) {
        if (pane == first)
            continue;
        if (keepsItsWidth(pane))
            kept += wantedMinimum(pane);
        else
            stretching.append(pane);
    }
    if (!stretching.isEmpty()) {
        const int rest = std::max(0, width - handles - kept - firstWidth) / int(stretching.size());
        for (QWidget* pane : stretching)
            pane->setMinimumWidth(std::min(wantedMinimum(pane), rest));
    }
    if (leftOut != m_leftOut) {
        QWidget* back = m_leftOut;
        m_leftOut = leftOut;
        if (back)
            back->setHidden(isCollapsed(back));
        if (leftOut)
            leftOut->setHidden(true);
    }
}

void PLRPostSplitView::resizeEvent(QResizeEvent* event)
{
    // The panes' limits follow the new width before the splitter shares it out.
    giveWay(event->size().width());
    QSplitter::resizeEvent(event);
}

QSize PLRPostSplitView::minimumSizeHint() const
{
    int kept = 0;
    int panes = 0;
    for (QWidget* pane : arrangedSubviews()) {
        if (isCollapsed(pane))
            continue;
        ++panes;
        if (keepsItsWidth(pane))
            kept += wantedMinimum(pane);
    }
    return QSize(kept + handleWidth() * std::max(0, panes - 1), QSplitter::minimumSizeHint().height());
}

QStringList PLRPostSplitView::frameStrings() const
{
    QStringList frames;
    const auto number = [](double value) { return QString::number(value, 'f', 6); };
    for (int i = 0; i < count(); ++i) {
        QWidget* pane = widget(i);
        const QRect g = pane->geometry();
        frames.append(QStringLiteral("%1, %2, %3, %4, %5, NO")
                          .arg(number(g.x()), number(0), number(g.width()),
                               number(height()), QLatin1String(isCollapsed(pane) ? "YES" : "NO")));
    }
    return frames;
}

void PLRPostSplitView::saveFrames() const
{
    if (m_autosaveName.isEmpty() || !isVisible())
        return;
    platform::UserDefaults::standard().setObject(autosaveKey(m_autosaveName), frameStrings());
}
