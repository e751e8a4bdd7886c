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

QRectF frameOver(const QSizeF& size, const QRectF& owner, const QRectF& available)
{
    const double w = std::min(size.width(), available.width());
    const double h = std::min(size.height(), available.height());
    const double x = std::clamp(owner.center().x() - w / 2.0, available.left(), available.right() - w);
    const double y = std::clamp(owner.center().y() - h / 2.0, available.top(), available.bottom() - h);
    return QRectF(std::round(x), std::round(y), w, h);
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
    window->setGeometry(frameOver(window->size(), QRectF(owner->geometry()), QRectF(free)).toRect());
}

} // namespace PLRWindowPlacement
