#pragma once

// Small helpers the publish panel and its buttons share.

#include "platform-ui/Controls.h"
#include "platform-ui/Fonts.h"

namespace PLRPublishPanelSupport {

inline platform::ui::TextField* makeLabel(const QString& text, QWidget* parent, double size = 11)
{
    auto* label = platform::ui::TextField::labelWithString(text, parent);
    label->setFont(platform::ui::systemFont(size));
    return label;
}

} // namespace PLRPublishPanelSupport
