#pragma once

#include <functional>

class QWidget;

// The band a host (the home screen, a post's canvas) keeps free of its own content along its
// bottom edge, so that nothing lies under the support chat's button in its bottom trailing
// corner: the button's top edge is 84 points above the host's bottom edge (the chat's closed
// view, 100 points square, sits 20 points inside the corner, and only its 56-point button, 8
// points inside the view's own corner, takes clicks), and 8 points are left above it.
inline constexpr int kPLRSupportChatBand = 92;

// How the home screen and a post's canvas place the support chat in their corner: set by the
// chat library at start; nothing is attached while none is set.
namespace PLRSupportChatHook {
using Attach = std::function<void(QWidget* host)>;
void setAttach(Attach attach);
void attach(QWidget* host);
}
