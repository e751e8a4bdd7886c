#include "shell/PLRWindowPlacement.h"

#include "platform-ui/Window.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

namespace PLRWindowPlacement {

QRectF centredFrame(const QSizeF& size, const QRectF& available)
{
    const double w = std::min(size.width(), available.width());
    const double h = std::min(size.height(), available.height());
    return QRectF(std::round(available.x() + (available.width() - w) / 2.0),
                  std::round(available.y() + (available.height() - h) / 2.0), w, h);
}

void centreOnScreen(QWidget* window)
{
    if (!window)
        return;
    const QRect free = platform::ui::screenFreeArea(window);
    if (free.isEmpty())
        return;
    window->setGeometry(centredFrame(window->size(), QRectF(free)).toRect());
}

void placeOver(QWidget* window, const QWidget* owner)
{
    if (!window)
        return;
    const QRect free = owner && owner->isVisible() ? platform::ui::screenFreeArea(owner) : QRect();
    if (free.isEmpty()) {
        centreOnScreen(window);
        return;
    }
    QRect over(QPoint(), window->size());
    over.moveCenter(owner->geometry().center());
    window->setGeometry(platform::ui::frameWithinArea(over, free));
}

} // namespace PLRWindowPlacement
