#include "StoreTestHelpers.h"

#include "TestSupport.h"

namespace store_test {

bool saveAndWait(int timeoutMs)
{
    // Shared with the completion, which may come after a wait that gave up.
    auto outcome = std::make_shared<std::pair<bool, bool>>(false, false);
    PLRCoreManager::save([outcome](bool ok) { *outcome = {true, ok}; });
    testing_support::waitUntil([&] { return outcome->first; }, timeoutMs);
    return outcome->first && outcome->second;
}

} // namespace store_test
