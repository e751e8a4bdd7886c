#pragma once

// Small helpers the property pages share.

#include "controls/PLRPopupButton.h"
#include "layout/base/PLRLayoutTree.h"
#include "panels/inspector/PLRInspectorWidgets.h"
#include "panels/inspector/PLRPropertyViewController.h"
#include "store/model/PLRAspectRatio.h"

namespace PLRPropertyPageSupport {

inline PLRPopupButton* ratioPopup(QWidget* parent)
{
    QList<QPair<QString, qint64>> items;
    for (qint64 preset = 0; preset < PLRAspectRatio::kPresetCount; ++preset)
        items.append({PLRPropertyViewController::presetTitle(preset), preset});
    PLRPopupButton* popup = plr::insp::popupButton(parent, items);
    popup->setButtonStyle(2);
    return popup;
}

inline bool isKind(const PLRBlock* block, int kind)
{
    return block && plr::typeOneOfCase(*block) == kind;
}

} // namespace PLRPropertyPageSupport
