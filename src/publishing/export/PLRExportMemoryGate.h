#pragma once

// The memory a layout export holds in flight, and whether another block may start.
//
// Each block takes the most it will hold at once when it starts (its photos being decoded and
// drawn into its picture while the rows drawn are sharpened and encoded on another thread; the
// JPEG written) and gives back what it no longer needs at each step, the rest when it ends. A
// block starts only while what is held stays within the budget; one block is always let through
// when nothing is held, whatever it weighs (a single large block is exported rather than
// refused). One thread decides and takes; any thread gives back.

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <memory>

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

    void take(qint64 bytes)
    {
        const qint64 now = m_held.fetch_add(bytes) + bytes;
        qint64 peak = m_peak.load();
        while (now > peak && !m_peak.compare_exchange_weak(peak, now)) {
        }
    }
    void give(qint64 bytes) { m_held.fetch_sub(bytes); }

    // What one block holds: taken whole when it starts, given back in steps as its work goes on
    // (keep()), and all that is left when it ends.
    class Hold {
    public:
        Hold(std::shared_ptr<MemoryGate> gate, qint64 bytes) : m_gate(std::move(gate)), m_bytes(std::max<qint64>(0, bytes))
        {
            m_gate->take(m_bytes);
        }
        ~Hold() { m_gate->give(m_bytes); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

        qint64 bytes() const { return m_bytes; }
        // Holds no more than `bytes` from now on (never more than was taken).
        void keep(qint64 bytes)
        {
            const qint64 kept = std::clamp<qint64>(bytes, 0, m_bytes);
            m_gate->give(m_bytes - kept);
            m_bytes = kept;
        }

    private:
        std::shared_ptr<MemoryGate> m_gate;
        qint64 m_bytes;
    };

private:
    const qint64 m_budget;
    std::atomic<qint64> m_held{0};
    std::atomic<qint64> m_peak{0};
};

} // namespace plr_export
