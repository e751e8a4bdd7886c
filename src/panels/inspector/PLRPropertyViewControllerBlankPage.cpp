#include "panels/inspector/PLRPropertyViewController.h"

#include "controls/PLRPopupButton.h"
#include "layout/section_layout_handlers/PLRStackedSectionSolver.h"
#include "panels/inspector/PLRPropertyPageSupport.h"
#include "store/model/PLRAspectRatio.h"

#include <QVBoxLayout>

using namespace platform::ui;
using plr::insp::caption;
using plr::insp::pageContent;
using plr::insp::scrolled;
using namespace PLRPropertyPageSupport;

QWidget* PLRPropertyViewController::buildBlankPage()
{
    QVBoxLayout* column = nullptr;
    QWidget* content = pageContent(&column);
    column->addWidget(caption(QStringLiteral("Spacer"), content, true));
    m_blankAspectRatioPopUpButton = ratioPopup(content);
    m_blankAspectRatioPopUpButton->setTarget(this);
    m_blankAspectRatioPopUpButton->setAction([this](Control* sender) { setImageAspectRatio(static_cast<PLRPopupButton*>(sender)); });
    column->addWidget(m_blankAspectRatioPopUpButton);
    column->addStretch(1);
    return scrolled(content);
}

// ---------------------------------------------------------------- blank page

void PLRPropertyViewController::ensureBlankTab(const QList<PLRBlock*>& blocks)
{
    QList<qint64> presets;
    for (const PLRBlock* block : blocks) {
        // A spacer without a ratio of its own is drawn at the canvas's fallback ratio: the
        // page names that one rather than "Custom".
        const double ratio = block->aspect_ratio() > 0.0f ? double(block->aspect_ratio()) : plr::layout::kFallbackRatio;
        presets.append(PLRAspectRatio::ratioWithRawRatio(ratio).preset());
    }
    showPresets(m_blankAspectRatioPopUpButton, presets);
}
