#pragma once

#include <functional>

class QWidget;

// How the home screen places the support chat in its corner: set by the chat library at start;
// nothing is attached while none is set.
namespace PLRSupportChatHook {
using Attach = std::function<void(QWidget* host)>;
void setAttach(Attach attach);
void attach(QWidget* host);
}
