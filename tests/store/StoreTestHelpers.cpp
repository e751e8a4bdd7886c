#include "StoreTestHelpers.h"

#include "TestSupport.h"

namespace store_test {

bool saveAndWait()
{
    bool done = false;
    bool result = false;
    PLRCoreManager::save([&](bool ok) {
        done = true;
        result = ok;
    });
    testing_support::waitUntil([&] { return done; });
    return done && result;
}

} // namespace store_test
