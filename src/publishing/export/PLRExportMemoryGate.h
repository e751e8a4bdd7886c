#pragma once

// The memory a layout export holds in flight, and whether more work may start.
//
// A block holds its decoded photos from the start of their decoding until it is drawn, and its
// drawing (with the JPEG made of it) from just before it is drawn until its file is written.
// Blocks are drawn one at a time, in order; photos are decoded ahead and drawings written behind,
// in parallel. Work starts only while what is held stays within the budget, and photos are
// decoded ahead only while they leave room for the drawing of each block started, so that the
// next drawing can always start once the writes behind it are done (the photos ahead never
// take that room, however long the writes take). One block is always let
// through when nothing is held, whatever it weighs (a single large block is exported rather
// than refused). One thread decides and takes; any thread gives back.

#include <QtGlobal>

#include <algorithm>
#include <atomic>

namespace plr_export {

class MemoryGate {
public:
    explicit MemoryGate(qint64 budget) : m_budget(std::max<qint64>(0, budget)) {}

    qint64 budget() const { return m_budget; }
    qint64 held() const { return m_held.load(); }
    // The most that was held at once.
    qint64 peak() const { return m_peak.load(); }

    // Whether `bytes` more may be taken now: they fit, or nothing is held.
    bool admits(qint64 bytes) const
    {
        const qint64 now = m_held.load();
        return now <= 0 || now + bytes <= m_budget;
    }

    // Whether the photos of a block after the one drawn next may start decoding: they fit now,
    // and with the photos of every block not drawn yet they leave `drawingRoom` free (at least
    // the largest drawing among those blocks and this one, so that each can be drawn in turn).
    bool admitsPhotosAhead(qint64 photos, qint64 drawingRoom) const
    {
        return admits(photos) && m_photos + photos + drawingRoom <= m_budget;
    }

    // Photos start decoding.
    void takePhotos(qint64 bytes)
    {
        m_photos += bytes;
        take(bytes);
    }
    // The block is drawn: its photos go.
    void photosDrawn(qint64 bytes)
    {
        m_photos -= bytes;
        give(bytes);
    }
    // A drawing is made (given back with give() once its file is written).
    void takeDrawing(qint64 bytes) { take(bytes); }
    void give(qint64 bytes) { m_held.fetch_sub(bytes); }

private:
    void take(qint64 bytes)
    {
        const qint64 now = m_held.fetch_add(bytes) + bytes;
        qint64 peak = m_peak.load();
        while (now > peak && !m_peak.compare_exchange_weak(peak, now)) {
        }
    }

    const qint64 m_budget;
    qint64 m_photos = 0;   // photos decoded or decoding, of blocks not drawn yet (the deciding thread's)
    std::atomic<qint64> m_held{0};
    std::atomic<qint64> m_peak{0};
};

} // namespace plr_export
