#include "platform-ui/Cursor.h"
#include "platform/Resets.h"

#include "platform-ui/View.h"

#include <QApplication>
#include <QPixmap>

namespace platform::ui {

namespace {
Cursor& currentCursor()
{
    static Cursor cursor;
    static const bool joined = platform::resets::add([] { cursor = Cursor(); });
    (void)joined;
    return cursor;
}
} // namespace

Cursor::Cursor(const QImage& image, const QPointF& hotSpot) : m_shape(Qt::BitmapCursor), m_image(image), m_hotSpot(hotSpot) {}

#define PLR_STANDARD_CURSOR(name, shape) \
    const Cursor& Cursor::name() { static const Cursor cursor(shape); return cursor; }
PLR_STANDARD_CURSOR(arrowCursor, Qt::ArrowCursor)
PLR_STANDARD_CURSOR(pointingHandCursor, Qt::PointingHandCursor)
PLR_STANDARD_CURSOR(IBeamCursor, Qt::IBeamCursor)
PLR_STANDARD_CURSOR(resizeLeftRightCursor, Qt::SizeHorCursor)
PLR_STANDARD_CURSOR(resizeUpDownCursor, Qt::SizeVerCursor)
PLR_STANDARD_CURSOR(crosshairCursor, Qt::CrossCursor)
PLR_STANDARD_CURSOR(openHandCursor, Qt::OpenHandCursor)
PLR_STANDARD_CURSOR(closedHandCursor, Qt::ClosedHandCursor)
#undef PLR_STANDARD_CURSOR

QCursor Cursor::toQCursor() const
{
    if (m_image.isNull())
        return QCursor(m_shape);
    const double scale = m_image.devicePixelRatio();
    QPixmap pixmap = QPixmap::fromImage(m_image);
    pixmap.setDevicePixelRatio(scale);
    return QCursor(pixmap, int(m_hotSpot.x()), int(m_hotSpot.y()));
}

void Cursor::set() const
{
    currentCursor() = *this;
    if (QWidget* window = dispatch::pointerWindow())
        window->setCursor(toQCursor());
}

const Cursor& Cursor::current() { return currentCursor(); }

bool Cursor::operator==(const Cursor& other) const
{
    return m_shape == other.m_shape && m_hotSpot == other.m_hotSpot && m_image.cacheKey() == other.m_image.cacheKey();
}

} // namespace platform::ui
