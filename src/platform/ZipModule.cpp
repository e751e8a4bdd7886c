#include "platform/ZipModule.h"

#include "platform/Modules.h"

namespace platform::zipmodule {

const Functions* functions(QString* error)
{
    auto entry = reinterpret_cast<Entry>(modules::resolve(QLatin1String(kFileName), kEntrySymbol, error));
    if (!entry)
        return nullptr;
    return entry();
}

} // namespace platform::zipmodule
