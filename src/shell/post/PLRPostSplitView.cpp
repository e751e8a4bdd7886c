#include "shell/post/PLRPostSplitView.h"

#include "platform/UserDefaults.h"

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
    if (!pane || indexOf(pane) < 0 || pane->isHidden() == collapsed)
        return;
    pane->setHidden(collapsed);
    saveFrames();
}

bool PLRPostSplitView::isCollapsed(QWidget* pane) const
{
    return pane && pane->isHidden();
}

QStringList PLRPostSplitView::frameStrings() const
{
    QStringList frames;
    const auto number = [](double value) { return QString::number(value, 'f', 6); };
    for (int i = 0; i < count(); ++i) {
        QWidget* pane = widget(i);
        const QRect g = pane->geometry();
        const bool collapsed = pane->isHidden();
        frames.append(QStringLiteral("%1, %2, %3, %4, %5, NO")
                          .arg(number(g.x()), number(0), number(g.width()),
                               number(height()), QLatin1String(collapsed ? "YES" : "NO")));
    }
    return frames;
}

void PLRPostSplitView::saveFrames() const
{
    if (m_autosaveName.isEmpty() || !isVisible())
        return;
    platform::UserDefaults::standard().setObject(autosaveKey(m_autosaveName), frameStrings());
}
