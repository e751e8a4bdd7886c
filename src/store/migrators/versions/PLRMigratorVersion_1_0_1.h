#pragma once

#include "store/migrators/PLRMigratorVersion.h"

// First run: makes the application folder and the store's folders.
class PLRMigratorVersion_1_0_1 : public PLRMigratorVersion {
    Q_OBJECT
public:
    using PLRMigratorVersion::PLRMigratorVersion;
    QString version() const override;
    void perform(Completion done) override;
};
