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

QRectF mainWindowFrame(const QRectF& screenFrame, const QRectF& availableFrame)
{
    const QSizeF size(std::floor(screenFrame.width() * 0.8), std::floor(screenFrame.height() * 0.8));
    return centredFrame(size, availableFrame);
}

QRectF frameOnScreens(const QRectF& frame, const QList<QRectF>& availableFrames)
{
    if (availableFrames.isEmpty())
        return frame;
    for (const QRectF& area : availableFrames) {
        // Enough of the window (its top strip above all, where it is dragged) must be reachable.
        const QRectF top(frame.x(), frame.y(), frame.width(), std::min(frame.height(), 40.0));
        const QRectF shown = area.intersected(top);
        if (!shown.isEmpty() && shown.width() >= std::min(100.0, frame.width()))
            return frame;
    }
    return centredFrame(frame.size().isEmpty() ? availableFrames.first().size() * 0.8 : frame.size(), availableFrames.first());
}

QList<QRectF> availableScreenFrames()
{
    QList<QRectF> frames;
    for (QScreen* screen : QGuiApplication::screens())
        frames << QRectF(screen->availableGeometry());
    return frames;
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
