#include "store/migrators/PLRMigratorVersion.h"

PLRMigratorVersion::PLRMigratorVersion(QObject* parent) : QObject(parent) {}

PLRMigratorVersion::~PLRMigratorVersion() = default;

#define PLR_MIGRATOR_SETTER(Setter, member, signal, Type) \
    void PLRMigratorVersion::Setter(Type value)             \
    {                                                       \
        if (member == value)                                \
            return;                                         \
        member = value;                                     \
        emit signal();                                      \
    }

PLR_MIGRATOR_SETTER(setReasonTitle, m_reasonTitle, reasonTitleChanged, const QString&)
PLR_MIGRATOR_SETTER(setInfoTitle, m_infoTitle, infoTitleChanged, const QString&)
PLR_MIGRATOR_SETTER(setStageMessage, m_stageMessage, stageMessageChanged, const QString&)
PLR_MIGRATOR_SETTER(setSubMessage, m_subMessage, subMessageChanged, const QString&)
PLR_MIGRATOR_SETTER(setStageProgress, m_stageProgress, stageProgressChanged, double)
PLR_MIGRATOR_SETTER(setSubProgress, m_subProgress, subProgressChanged, double)
PLR_MIGRATOR_SETTER(setStageNeedsSubProgress, m_stageNeedsSubProgress, stageNeedsSubProgressChanged, bool)

#undef PLR_MIGRATOR_SETTER
