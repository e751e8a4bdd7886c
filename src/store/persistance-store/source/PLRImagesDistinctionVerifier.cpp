#include "store/persistance-store/source/PLRImagesDistinctionVerifier.h"

#include "platform/Alert.h"
#include "platform/Log.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

void PLRImagesDistinctionVerifier::ensureDistinctImages(const QList<PLRSourceImagePtr>& images,
                                                        const std::function<void(bool)>& completion,
                                                        QWidget* parent)
{
    QList<PLRSourceImagePtr> placed;
    for (const auto& image : images)
        if (image && image->inLayout())
            placed.append(image);
    if (placed.isEmpty()) {
        if (completion)
            completion(true);
        return;
    }

    platform::Alert alert;
    alert.messageText = QStringLiteral("You cannot add the same image twice!");
    alert.informativeText = QStringLiteral("If you want to add the same image, you can duplicate it in your watch folder.");
    alert.buttons = {QStringLiteral("Duplicate Image(s)"), QStringLiteral("Cancel"), QStringLiteral("Show Details")};
    const platform::AlertResult result = platform::runAlert(alert, parent);

    QStringList paths;
    for (const auto& image : placed)
        if (!image->fileDeleted() && !image->path().isEmpty())
            paths.append(image->path());

    if (result.response == platform::kAlertFirstButtonReturn) {
        for (const QString& path : paths)
            duplicateFile(path);
    } else if (result.response == platform::kAlertThirdButtonReturn) {
        if (!paths.isEmpty())
            platform::Workspace::shared().revealInFileManager(paths);
    }
    if (completion)
        completion(false);
}

QString PLRImagesDistinctionVerifier::duplicateFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        PLR_LOG_WARN(QStringLiteral("Cannot duplicate %1: the file is gone").arg(path));
        return {};
    }
    const QDir dir = info.absoluteDir();
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 1; n < 10000; ++n) {
        const QString name = n == 1 ? QStringLiteral("%1 copy%2").arg(base, suffix)
                                    : QStringLiteral("%1 copy %2%3").arg(base).arg(n).arg(suffix);
        const QString candidate = dir.filePath(name);
        if (QFileInfo::exists(candidate))
            continue;
        // QFile::copy never overwrites: a name taken meanwhile just moves on to the next one.
        if (QFile::copy(path, candidate))
            return candidate;
        if (!QFileInfo::exists(candidate)) {
            PLR_LOG_WARN(QStringLiteral("Cannot duplicate %1 as %2").arg(path, candidate));
            return {};
        }
    }
    return {};
}
