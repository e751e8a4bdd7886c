#pragma once

#include <functional>

class QWidget;

// The band along a host's bottom edge (the home screen, a post's canvas) that the support
// chat's button takes in its bottom trailing corner: the button's top edge is 84 points above
// the host's bottom edge (the chat's closed view is its 56-point button alone, 28 points inside
// the corner), and 8 points are left above it. The home screen's grid scrolls its last row up
// out of this band; a post's canvas ends above it.
inline constexpr int kPLRSupportChatBand = 92;

// How the home screen and a post's canvas place the support chat in their corner: set by the
// chat library at start; nothing is attached while none is set.
namespace PLRSupportChatHook {
using Attach = std::function<void(QWidget* host)>;
void setAttach(Attach attach);
void attach(QWidget* host);
}
