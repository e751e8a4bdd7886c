#include "shell/home/PLRSupportChatHook.h"

namespace {

PLRSupportChatHook::Attach& attacher()
{
    static PLRSupportChatHook::Attach attach;
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
