#include "layout/section_layout_handlers/PLRStackedSectionSolver.h"

#include <algorithm>
#include <cmath>

namespace plr::layout {

namespace {

enum class NodeKind { Column, Row, Ratio, Content };

struct Node {
    const PLRBlock* block = nullptr;
    int parent = -1;
    int first = 0;          // index of the first child; children are contiguous
    int count = 0;
    int indexInParent = 0;
    NodeKind kind = NodeKind::Column;
    bool collapsed = false; // takes no room (an empty container)
    bool inRow = false;     // has a row somewhere above it
    double ratio = kFallbackRatio;
    double minSlope = 0.0;  // content blocks: the slope of their own ratio
    double a = 0.0;
    double b = 0.0;
    double x = 0.0, y = 0.0, w = 0.0, h = 0.0;
    double required = 0.0;
    double content = 0.0;   // content blocks: the measured height at w
};

double finiteOr(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}

double clampRatio(double ratio)
{
    return std::clamp(ratio, kMinimumRatio, kMaximumRatio);
}

bool usable(double ratio)
{
    return std::isfinite(ratio) && ratio > 0.0;
}

NodeKind kindOf(const PLRBlock& block)
{
    switch (block.type_case()) {
    case PLRBlock::kContainer:
        return block.container().vert() ? NodeKind::Column : NodeKind::Row;
    case PLRBlock::kText:
    case PLRBlock::kDownloadButton:
        return NodeKind::Content;
    default:
        return NodeKind::Ratio;   // image, blank and blocks of no known kind
    }
}

class Solver {
public:
    Solver(const PLRSection& section, double width, double padding, const SolverEnvironment& environment)
        : m_width(std::isfinite(width) && width > 0.0 ? width : 0.0),
          m_padding(std::isfinite(padding) && padding > 0.0 ? padding : 0.0),
          m_environment(environment)
    {
        build(section);
    }

    SectionFrames run()
    {
        for (int round = 0; round < kContentRounds; ++round) {
            computeLaws();
            distributeWidths();
            if (!refineContentLaws())
                break;
        }
        settleHeights();
        place();
        return frames();
    }

private:
    void build(const PLRSection& section)
    {
        m_nodes.reserve(size_t(section.blocks_size()) * 2 + 1);
        m_nodes.push_back(Node{});   // the section itself: a column
        for (size_t i = 0; i < m_nodes.size(); ++i) {
            const google::protobuf::RepeatedPtrField<PLRBlock>* children = nullptr;
            if (i == 0)
                children = &section.blocks();
            else if (m_nodes[i].block->has_container())
                children = &m_nodes[i].block->container().sub_blocks();
            if (!children)
                continue;
            const bool childrenInRow = m_nodes[i].inRow || m_nodes[i].kind == NodeKind::Row;
            m_nodes[i].first = int(m_nodes.size());
            m_nodes[i].count = children->size();
            int index = 0;
            for (const PLRBlock& child : *children) {
                Node node;
                node.block = &child;
                node.parent = int(i);
                node.indexInParent = index++;
                node.kind = kindOf(child);
                node.inRow = childrenInRow;
                if (node.kind == NodeKind::Ratio) {
                    node.ratio = effectiveRatio(child, m_environment);
                } else if (node.kind == NodeKind::Content) {
                    const double own = child.aspect_ratio();
                    node.minSlope = 1.0 / clampRatio(usable(own) ? own : kFallbackRatio);
                    node.a = node.minSlope;
                }
                m_nodes.push_back(node);
            }
        }
    }

    // Up: the law of every block, children before parents.
    void computeLaws()
    {
        for (size_t i = m_nodes.size(); i-- > 0;) {
            Node& node = m_nodes[i];
            switch (node.kind) {
            case NodeKind::Ratio:
                node.a = 1.0 / node.ratio;
                node.b = 0.0;
                break;
            case NodeKind::Content:
                node.b = 0.0;   // a is kept between rounds
                break;
            case NodeKind::Column: {
                int active = 0;
                double a = 0.0, b = 0.0;
                for (int c = node.first; c < node.first + node.count; ++c) {
                    if (m_nodes[size_t(c)].collapsed)
                        continue;
                    ++active;
                    a += m_nodes[size_t(c)].a;
                    b += m_nodes[size_t(c)].b;
                }
                node.collapsed = active == 0 && i != 0;
                node.a = a;
                node.b = active > 0 ? b + (active - 1) * m_padding : 0.0;
                break;
            }
            case NodeKind::Row: {
                int active = 0;
                double inverse = 0.0, offset = 0.0;
                for (int c = node.first; c < node.first + node.count; ++c) {
                    const Node& child = m_nodes[size_t(c)];
                    if (child.collapsed)
                        continue;
                    ++active;
                    inverse += 1.0 / child.a;
                    offset += child.b / child.a;
                }
                node.collapsed = active == 0;
                if (active > 0) {
                    node.a = 1.0 / inverse;
                    node.b = (offset - (active - 1) * m_padding) * node.a;
                } else {
                    node.a = node.b = 0.0;
                }
                break;
            }
            }
        }
    }

    // Down: the width of every block, parents before children.
    void distributeWidths()
    {
        m_nodes[0].w = m_width;
        for (Node& node : m_nodes) {
            if (node.count == 0)
                continue;
            if (node.kind == NodeKind::Column) {
                for (int c = node.first; c < node.first + node.count; ++c) {
                    Node& child = m_nodes[size_t(c)];
                    child.w = child.collapsed ? 0.0 : node.w;
                }
            } else if (node.kind == NodeKind::Row) {
                const double height = node.a * node.w + node.b;
                for (int c = node.first; c < node.first + node.count; ++c) {
                    Node& child = m_nodes[size_t(c)];
                    child.w = child.collapsed ? 0.0 : std::max(0.0, finiteOr((height - child.b) / child.a, 0.0));
                }
            }
        }
    }

    double measure(const Node& node) const
    {
        if (!m_environment.contentHeight)
            return 0.0;
        return std::max(0.0, finiteOr(m_environment.contentHeight(*node.block, node.w), 0.0));
    }

    // Content blocks below a row whose box is too short for their content get a taller box.
    // Answers whether anything changed (another round is worth it).
    bool refineContentLaws()
    {
        bool changed = false;
        for (Node& node : m_nodes) {
            if (node.kind != NodeKind::Content || !node.inRow)
                continue;
            node.content = measure(node);
            const double boxHeight = node.a * node.w;
            if (node.content > boxHeight + 0.01 && node.w > 0.0) {
                node.a = std::clamp(node.content / node.w, node.minSlope, 1.0 / kMinimumRatio);
                changed = true;
            }
        }
        return changed;
    }

    // The height each block needs at its width (children before parents), then the height
    // each one gets (parents before children).
    void settleHeights()
    {
        for (size_t i = m_nodes.size(); i-- > 0;) {
            Node& node = m_nodes[i];
            if (node.collapsed) {
                node.required = 0.0;
                continue;
            }
            switch (node.kind) {
            case NodeKind::Ratio:
                node.required = node.w * node.a;
                break;
            case NodeKind::Content:
                node.content = measure(node);
                node.required = node.inRow ? std::max(node.content, node.a * node.w) : node.content;
                break;
            case NodeKind::Column: {
                int active = 0;
                double sum = 0.0;
                for (int c = node.first; c < node.first + node.count; ++c) {
                    if (m_nodes[size_t(c)].collapsed)
                        continue;
                    ++active;
                    sum += m_nodes[size_t(c)].required;
                }
                node.required = active > 0 ? sum + (active - 1) * m_padding : 0.0;
                break;
            }
            case NodeKind::Row: {
                double tallest = 0.0;
                for (int c = node.first; c < node.first + node.count; ++c) {
                    if (!m_nodes[size_t(c)].collapsed)
                        tallest = std::max(tallest, m_nodes[size_t(c)].required);
                }
                node.required = tallest;
                break;
            }
            }
            node.required = std::max(0.0, finiteOr(node.required, 0.0));
        }

        m_nodes[0].h = m_nodes[0].required;
        for (Node& node : m_nodes) {
            if (node.count == 0)
                continue;
            if (node.kind == NodeKind::Row) {
                for (int c = node.first; c < node.first + node.count; ++c) {
                    Node& child = m_nodes[size_t(c)];
                    child.h = child.collapsed ? 0.0 : node.h;
                }
            } else if (node.kind == NodeKind::Column) {
                double sum = 0.0;
                int active = 0;
                for (int c = node.first; c < node.first + node.count; ++c) {
                    if (!m_nodes[size_t(c)].collapsed) {
                        sum += m_nodes[size_t(c)].required;
                        ++active;
                    }
                }
                const double extra = std::max(0.0, node.h - node.required);
                for (int c = node.first; c < node.first + node.count; ++c) {
                    Node& child = m_nodes[size_t(c)];
                    if (child.collapsed) {
                        child.h = 0.0;
                        continue;
                    }
                    const double share = sum > 0.0 ? child.required / sum : 1.0 / active;
                    child.h = child.required + extra * share;
                }
            }
        }
    }

    // Positions, parents before children.
    void place()
    {
        for (Node& node : m_nodes) {
            if (node.count == 0)
                continue;
            const bool row = node.kind == NodeKind::Row;
            double cursor = row ? node.x : node.y;
            const double end = row ? node.x + node.w : node.y + node.h;
            bool placedOne = false;
            for (int c = node.first; c < node.first + node.count; ++c) {
                Node& child = m_nodes[size_t(c)];
                if (!child.collapsed && placedOne)
                    cursor += m_padding;
                const double start = std::min(cursor, end);
                if (row) {
                    child.x = start;
                    child.y = node.y;
                } else {
                    child.x = node.x;
                    child.y = start;
                }
                if (child.collapsed)
                    continue;
                cursor += row ? child.w : child.h;
                placedOne = true;
            }
        }
    }

    SectionFrames frames() const
    {
        SectionFrames result;
        result.width = m_width;
        result.height = m_nodes[0].h;
        result.frames.reserve(m_nodes.size() - 1);
        for (size_t i = 1; i < m_nodes.size(); ++i) {
            const Node& node = m_nodes[i];
            BlockFrame frame;
            frame.block = node.block;
            frame.frame = QRectF(node.x, node.y, node.w, node.h);
            frame.parent = node.parent - 1;
            frame.indexInParent = node.indexInParent;
            result.frames.push_back(frame);
        }
        return result;
    }

    const double m_width;
    const double m_padding;
    const SolverEnvironment& m_environment;
    std::vector<Node> m_nodes;
};

} // namespace

const BlockFrame* SectionFrames::frameFor(const PLRBlock* block) const
{
    if (m_index.isEmpty() && !frames.empty()) {
        m_index.reserve(qsizetype(frames.size()));
        for (size_t i = 0; i < frames.size(); ++i)
            m_index.insert(frames[i].block, int(i));
    }
    const auto found = m_index.constFind(block);
    return found == m_index.constEnd() ? nullptr : &frames[size_t(*found)];
}

QRectF SectionFrames::rectFor(const PLRBlock* block) const
{
    const BlockFrame* frame = frameFor(block);
    return frame ? frame->frame : QRectF();
}

QList<int> SectionFrames::pathFor(const PLRBlock* block) const
{
    QList<int> path;
    const BlockFrame* frame = frameFor(block);
    while (frame) {
        path.prepend(frame->indexInParent);
        frame = frame->parent >= 0 ? &frames[size_t(frame->parent)] : nullptr;
    }
    return path;
}

double effectiveRatio(const PLRBlock& block, const SolverEnvironment& environment)
{
    double ratio = block.aspect_ratio();
    if (!usable(ratio) && block.has_image() && environment.imageRatio)
        ratio = environment.imageRatio(QString::fromStdString(block.image().img_ref()));
    if (!usable(ratio))
        ratio = kFallbackRatio;
    return clampRatio(ratio);
}

SectionFrames solveStackedSection(const PLRSection& section, double width, double padding,
                                  const SolverEnvironment& environment)
{
    return Solver(section, width, padding, environment).run();
}

} // namespace plr::layout
