#include "shell/PLRAddBlockView.h"

#include "canvas/interaction/PLRLayoutInteraction.h"
#include "platform-ui/View.h"
#include "store/model/PLRLayoutDocument.h"

#include <QApplication>
#include <QDrag>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr int kTileWidth = 84;
constexpr int kTileHeight = 78;

// One tile: a small drawing of the block kind over its title.
class AddBlockTile : public QWidget {
public:
    AddBlockTile(int kind, PLRAddBlockView* owner) : QWidget(owner), m_kind(kind), m_owner(owner)
    {
        setFixedSize(kTileWidth, kTileHeight);
        setCursor(Qt::OpenHandCursor);
        setToolTip(QStringLiteral("Drag onto the canvas, or click to add at the end"));
        setAccessibleName(PLRAddBlockView::titleForKind(kind));
        setAttribute(Qt::WA_Hover, true);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (!plain || !m_owner) {
            QWidget::keyPressEvent(event);
            return;
        }
        switch (event->key()) {
        case Qt::Key_Right:
        case Qt::Key_Down:
            m_owner->focusNeighbourOf(this, true);
            break;
        case Qt::Key_Left:
        case Qt::Key_Up:
            m_owner->focusNeighbourOf(this, false);
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (event->isAutoRepeat())
                break;
            if (QPointer<PLRAddBlockView> owner = m_owner)
                owner->tileClicked(m_kind);
            break;
        default:
            // Escape reaches the popover, which closes.
            QWidget::keyPressEvent(event);
            return;
        }
        event->accept();
    }

    void focusInEvent(QFocusEvent* event) override
    {
        QWidget::focusInEvent(event);
        update();
    }

    void focusOutEvent(QFocusEvent* event) override
    {
        QWidget::focusOutEvent(event);
        update();
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        m_pressed = true;
        m_pressPoint = event->position();
        update();
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!m_pressed || (event->position() - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
            return;
        m_pressed = false;
        update();
        if (QPointer<PLRAddBlockView> owner = m_owner)
            owner->tileDragged(m_kind, this);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (!m_pressed || event->button() != Qt::LeftButton)
            return;
        m_pressed = false;
        update();
        if (rect().contains(event->position().toPoint()) && m_owner)
            m_owner->tileClicked(m_kind);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        const QColor ink(0x4A, 0x4A, 0x4A);
        const QColor accent(0x21, 0x9D, 0xFF);
        const bool hot = m_pressed || underMouse();
        painter.setPen(QPen(hot ? accent : QColor(0xD8, 0xD8, 0xD8), 1.0));
        painter.setBrush(hot ? QColor(0xF1, 0xF8, 0xFF) : QColor(0xFA, 0xFA, 0xFA));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        if (hasFocus()) {
            // The kit's focus ring, in its colour and width, along the tile's edge.
            const double w = platform::ui::View::kFocusRingWidth;
            painter.setPen(QPen(platform::ui::View::focusRingColor().toQColor(), w));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(rect()).adjusted(w / 2, w / 2, -w / 2, -w / 2), 6, 6);
        }

        const QRectF icon(kTileWidth / 2.0 - 22, 10, 44, 34);
        painter.setPen(QPen(ink, 1.5));
        painter.setBrush(Qt::NoBrush);
        switch (m_kind) {
        case plr::kBlockKindText: {
            QFont font = painter.font();
            font.setPixelSize(22);
            font.setBold(true);
            painter.setFont(font);
            painter.drawText(QRectF(icon.left(), icon.top(), 20, icon.height()), Qt::AlignCenter, QStringLiteral("T"));
            for (int i = 0; i < 4; ++i) {
                const double y = icon.top() + 7 + i * 7;
                painter.drawLine(QPointF(icon.left() + 22, y), QPointF(icon.right() - (i == 3 ? 10 : 0), y));
            }
            break;
        }
        case plr::kBlockKindBlank: {
            painter.setPen(QPen(ink, 1.2, Qt::DashLine));
            painter.drawRect(icon.adjusted(2, 6, -2, -6));
            painter.setPen(QPen(ink, 1.5));
            const double x = icon.center().x();
            painter.drawLine(QPointF(x, icon.top() + 9), QPointF(x, icon.bottom() - 9));
            painter.drawLine(QPointF(x - 4, icon.top() + 13), QPointF(x, icon.top() + 9));
            painter.drawLine(QPointF(x + 4, icon.top() + 13), QPointF(x, icon.top() + 9));
            painter.drawLine(QPointF(x - 4, icon.bottom() - 13), QPointF(x, icon.bottom() - 9));
            painter.drawLine(QPointF(x + 4, icon.bottom() - 13), QPointF(x, icon.bottom() - 9));
            break;
        }
        case plr::kBlockKindDownloadButton: {
            const QRectF pill(icon.left(), icon.center().y() - 9, icon.width(), 18);
            painter.setBrush(ink);
            painter.setPen(Qt::NoPen);
            painter.drawRoundedRect(pill, 9, 9);
            painter.setPen(QPen(Qt::white, 1.5));
            const double x = pill.center().x();
            painter.drawLine(QPointF(x, pill.top() + 4), QPointF(x, pill.bottom() - 5));
            painter.drawLine(QPointF(x - 4, pill.bottom() - 9), QPointF(x, pill.bottom() - 5));
            painter.drawLine(QPointF(x + 4, pill.bottom() - 9), QPointF(x, pill.bottom() - 5));
            break;
        }
        default:
            break;
        }
        QFont font = this->font();
        font.setPixelSize(11);
        font.setBold(false);
        painter.setFont(font);
        painter.setPen(ink);
        painter.drawText(QRectF(0, kTileHeight - 26, kTileWidth, 20), Qt::AlignCenter, PLRAddBlockView::titleForKind(m_kind));
    }

    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }

private:
    int m_kind;
    QPointer<PLRAddBlockView> m_owner;
    bool m_pressed = false;
    QPointF m_pressPoint;
};

} // namespace

PLRAddBlockView::PLRAddBlockView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("addBlockView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(8);
    auto* hint = new QLabel(QStringLiteral("Drag a block onto the canvas, or click to add it at the end."), this);
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("color: #6B6B6B; font-size: 11px;"));
    column->addWidget(hint);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    for (int kind : offeredKinds()) {
        auto* tile = new AddBlockTile(kind, this);
        tile->setObjectName(QStringLiteral("addBlockTile%1").arg(kind));
        row->addWidget(tile);
    }
    column->addLayout(row);
}

QList<int> PLRAddBlockView::offeredKinds()
{
    return {plr::kBlockKindText, plr::kBlockKindBlank, plr::kBlockKindDownloadButton};
}

QString PLRAddBlockView::titleForKind(int kind)
{
    switch (kind) {
    case plr::kBlockKindText: return QStringLiteral("Text");
    case plr::kBlockKindBlank: return QStringLiteral("Spacer");
    case plr::kBlockKindDownloadButton: return QStringLiteral("Download");
    default: return QString();
    }
}

QWidget* PLRAddBlockView::tileForKind(int kind) const
{
    return findChild<QWidget*>(QStringLiteral("addBlockTile%1").arg(kind));
}

void PLRAddBlockView::focusFirstTile()
{
    const QList<int> kinds = offeredKinds();
    if (QWidget* tile = kinds.isEmpty() ? nullptr : tileForKind(kinds.first()))
        tile->setFocus(Qt::TabFocusReason);
}

void PLRAddBlockView::focusNeighbourOf(QWidget* tile, bool next)
{
    const QList<int> kinds = offeredKinds();
    qsizetype index = -1;
    for (qsizetype i = 0; i < kinds.size(); ++i)
        if (tileForKind(kinds[i]) == tile)
            index = i;
    if (index < 0)
        return;
    const qsizetype count = kinds.size();
    const qsizetype to = (index + (next ? 1 : count - 1)) % count;
    if (QWidget* target = tileForKind(kinds[to]))
        target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void PLRAddBlockView::tileClicked(int kind)
{
    if (onAdd)
        onAdd(kind);
}

void PLRAddBlockView::tileDragged(int kind, QWidget* source)
{
    QMimeData* mimeData = PLRBlockPasteboard::mimeDataForNewBlock(kind);
    if (!mimeData)
        return;
    if (onDragWillStart)
        onDragWillStart(kind);
    if (dragRunner) {
        dragRunner(mimeData);
        return;
    }
    auto* drag = new QDrag(source ? static_cast<QObject*>(source) : this);
    drag->setMimeData(mimeData);
    if (source) {
        const QPixmap picture = source->grab();
        drag->setPixmap(picture);
        drag->setHotSpot(QPoint(picture.width() / 2, picture.height() / 2));
    }
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}
