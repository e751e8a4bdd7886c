#include "layout/section_layout_handlers/PLRSectionLayoutHandler.h"

#include "layout/block_draw_handlers/PLRBlockDrawHandler.h"
#include "platform/Log.h"

#include <QByteArrayView>

#include <algorithm>
#include <cmath>

std::unique_ptr<PLRSectionLayoutHandler> PLRSectionLayoutHandler::handlerForSection(const PLRSection& section)
{
    if (section.type_case() == PLRSection::kStacked || section.type_case() == PLRSection::TYPE_NOT_SET)
        return std::make_unique<PLRSectionLayoutHandler_Stacked>();
    return std::make_unique<PLRSectionLayoutHandler_Unsupported>(int(section.type_case()));
}

plr::layout::SectionFrames PLRSectionLayoutHandler_Stacked::layoutSection(const PLRSection& section, double width, double padding,
                                                                          const plr::layout::SolverEnvironment& environment)
{
    return plr::layout::solveStackedSection(section, width, padding, environment);
}

plr::layout::SectionFrames PLRSectionLayoutHandler_Unsupported::layoutSection(const PLRSection& section, double width, double padding,
                                                                              const plr::layout::SolverEnvironment& environment)
{
    Q_UNUSED(padding);
    Q_UNUSED(environment);
    if (!m_logged && section.blocks_size() > 0) {
        PLR_LOG_WARN(QStringLiteral("A section of kind %1 is not laid out; its %2 blocks are not shown")
                         .arg(m_kind).arg(section.blocks_size()));
        m_logged = true;
    }
    plr::layout::SectionFrames frames;
    frames.width = std::isfinite(width) && width > 0 ? width : 0.0;
    return frames;
}

double PLRContentHeightCache::heightFor(const PLRBlock& block, double width)
{
    size_t content = 0;
    if (block.has_text()) {
        const std::string& value = block.text().value();
        content = qHashMulti(0, QByteArrayView(value.data(), qsizetype(value.size())), int(block.text().style()),
                             block.text().position().width());
    } else if (block.has_download_button()) {
        const std::string& title = block.download_button().title();
        content = qHashMulti(1, QByteArrayView(title.data(), qsizetype(title.size())), int(block.download_button().size()));
    } else {
        return 0.0;
    }
    const Key key{&block, std::isfinite(width) ? qint64(std::llround(std::clamp(width, 0.0, 1.0e12) * 64.0)) : 0, content};
    const auto found = m_heights.constFind(key);
    if (found != m_heights.constEnd())
        return *found;
    if (m_heights.size() > 20000)
        m_heights.clear();
    const double height = PLRBlockDrawHandler::contentHeightForBlock(block, width);
    m_heights.insert(key, height);
    return height;
}
