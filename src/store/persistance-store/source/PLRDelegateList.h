#pragma once

#include <QObject>
#include <QPointer>

#include <algorithm>
#include <vector>

// The delegates of a source folder or photo. A delegate that is a QObject is held weakly and
// dropped once destroyed; any other is held until removed. Not locked: its owner guards it.
template <typename Delegate>
class PLRDelegateList {
public:
    // Null and a delegate already present are ignored.
    void add(Delegate* delegate)
    {
        if (!delegate)
            return;
        for (const auto& entry : m_entries)
            if (entry.delegate == delegate)
                return;
        Entry entry;
        entry.delegate = delegate;
        if (auto* object = dynamic_cast<QObject*>(delegate)) {
            entry.object = object;
            entry.tracked = true;
        }
        m_entries.push_back(entry);
    }

    void remove(Delegate* delegate)
    {
        std::erase_if(m_entries, [delegate](const Entry& entry) { return entry.delegate == delegate; });
    }

    // Whether the delegate is in the list and, for a QObject, still alive.
    bool contains(Delegate* delegate) const
    {
        for (const auto& entry : m_entries)
            if (entry.delegate == delegate)
                return !entry.tracked || !entry.object.isNull();
        return false;
    }

    // The delegates still alive, in the order they were added; forgets the destroyed ones.
    std::vector<Delegate*> live()
    {
        std::erase_if(m_entries, [](const Entry& entry) { return entry.tracked && entry.object.isNull(); });
        std::vector<Delegate*> result;
        for (const auto& entry : m_entries)
            result.push_back(entry.delegate);
        return result;
    }

private:
    struct Entry {
        Delegate* delegate = nullptr;
        QPointer<QObject> object;   // set when the delegate is a QObject
        bool tracked = false;
    };
    std::vector<Entry> m_entries;
};
