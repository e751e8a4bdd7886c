#include "platform/Files.h"

#include <QFile>
#include <QSaveFile>

namespace platform::files {

bool writeAtomically(const QString& path, const QByteArray& bytes, Error* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = Error::make(kErrorDomain, file.error(), QStringLiteral("Could not write \"%1\".").arg(path), file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        if (error)
            *error = Error::make(kErrorDomain, file.error(), QStringLiteral("Could not write \"%1\".").arg(path), file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = Error::make(kErrorDomain, file.error(), QStringLiteral("Could not write \"%1\".").arg(path), file.errorString());
        return false;
    }
    return true;
}

bool readAll(const QString& path, QByteArray* bytes, Error* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = Error::make(kErrorDomain, file.error(), QStringLiteral("Could not read \"%1\".").arg(path), file.errorString());
        return false;
    }
    *bytes = file.readAll();
    return true;
}

} // namespace platform::files
