#pragma once

#include <QCursor>
#include <QImage>
#include <QPointF>

namespace platform::ui {

// A pointer shape. set() makes it the current cursor of the window under the pointer.
class Cursor {
public:
    Cursor() = default;
    explicit Cursor(Qt::CursorShape shape) : m_shape(shape) {}
    // A cursor from an image (its size in points) and a hot spot in points from the top left.
    Cursor(const QImage& image, const QPointF& hotSpot);

    static const Cursor& arrowCursor();
    static const Cursor& pointingHandCursor();
    static const Cursor& IBeamCursor();
    static const Cursor& resizeLeftRightCursor();
    static const Cursor& resizeUpDownCursor();
    static const Cursor& crosshairCursor();
    static const Cursor& openHandCursor();
    static const Cursor& closedHandCursor();

    void set() const;
    // The cursor set last (arrow until something sets one).
    static const Cursor& current();

    bool isCustom() const { return !m_image.isNull(); }
    Qt::CursorShape shape() const { return m_shape; }
    QImage image() const { return m_image; }
    QPointF hotSpot() const { return m_hotSpot; }
    QCursor toQCursor() const;
    bool operator==(const Cursor& other) const;

private:
    Qt::CursorShape m_shape = Qt::ArrowCursor;
    QImage m_image;
    QPointF m_hotSpot;
};

} // namespace platform::ui
