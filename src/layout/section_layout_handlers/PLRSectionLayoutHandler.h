#pragma once

#include "layout/section_layout_handlers/PLRStackedSectionSolver.h"

#include <QHash>

#include <memory>

// Lays out the blocks of one section of a kind. Only stacked sections (and sections of no
// kind, which are made stacked) are laid out; the other kinds take no room and show nothing.
class PLRSectionLayoutHandler {
public:
    virtual ~PLRSectionLayoutHandler() = default;

    static std::unique_ptr<PLRSectionLayoutHandler> handlerForSection(const PLRSection& section);
    // The kind of section (PLRSection::TypeCase) the handler lays out.
    virtual int sectionKind() const = 0;

    // The frames of the section's blocks at the width, with the layout's padding between them.
    virtual plr::layout::SectionFrames layoutSection(const PLRSection& section, double width, double padding,
                                                     const plr::layout::SolverEnvironment& environment) = 0;
};

class PLRSectionLayoutHandler_Stacked : public PLRSectionLayoutHandler {
public:
    int sectionKind() const override { return PLRSection::kStacked; }
    plr::layout::SectionFrames layoutSection(const PLRSection& section, double width, double padding,
                                             const plr::layout::SolverEnvironment& environment) override;
};

class PLRSectionLayoutHandler_Unsupported : public PLRSectionLayoutHandler {
public:
    explicit PLRSectionLayoutHandler_Unsupported(int kind) : m_kind(kind) {}
    int sectionKind() const override { return m_kind; }
    plr::layout::SectionFrames layoutSection(const PLRSection& section, double width, double padding,
                                             const plr::layout::SolverEnvironment& environment) override;

private:
    int m_kind;
    bool m_logged = false;
};

// Content heights of text and download-button blocks, remembered by block, width and content
// (measuring text is the dear part of a layout).
class PLRContentHeightCache {
public:
    double heightFor(const PLRBlock& block, double width);
    void clear() { m_heights.clear(); }

private:
    struct Key {
        const PLRBlock* block;
        qint64 width;        // in 1/64 points
        size_t content;
        bool operator==(const Key& other) const = default;
    };
    friend size_t qHash(const Key& key, size_t seed) noexcept
    {
        return qHashMulti(seed, key.block, key.width, key.content);
    }
    QHash<Key, double> m_heights;
};
