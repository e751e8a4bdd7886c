#include "shell/home/PLRSupportChatHook.h"

#include "platform/Resets.h"

namespace {

PLRSupportChatHook::Attach& attacher()
{
    static PLRSupportChatHook::Attach attach;
    static const bool joined = platform::resets::add([] { attach = nullptr; });
    (void)joined;
    return attach;
}

} // namespace

void PLRSupportChatHook::setAttach(Attach attach)
{
    attacher() = std::move(attach);
}

void PLRSupportChatHook::attach(QWidget* host)
{
    if (attacher() && host)
        attacher()(host);
}
