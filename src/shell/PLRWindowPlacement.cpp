#include "shell/PLRWindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
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
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    window->setGeometry(centredFrame(window->size(), QRectF(screen->availableGeometry())).toRect());
}

} // namespace PLRWindowPlacement
