#include "store/persistance-store/source/PLRSourceDirectory.h"

#include "store/persistance-store/source/PLRSourceDirectoryPrivate.h"
#include "store/persistance-store/PLRFileUtilities.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace {

bool defaultAccessCheck(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isReadable() && info.isExecutable();
}

} // namespace

PLRSourceDirectory::PLRSourceDirectory(Config config, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_ordering(this), m_progress(std::make_shared<Progress>())
{
    if (!m_config.accessCheck)
        m_config.accessCheck = defaultAccessCheck;
    if (m_config.cacheRoot.isEmpty())
        m_config.cacheRoot = PLRImageManager::defaultLocationRoot();
    m_path = m_config.folderPath.isEmpty() ? QString() : QDir::cleanPath(m_config.folderPath);
    loadPlist();

    m_queue = std::make_unique<platform::SerialQueue>(QStringLiteral("SOURCE DIRECTORY"));
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &PLRSourceDirectory::onFileSystemEvent);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &PLRSourceDirectory::onFileSystemEvent);
}

PLRSourceDirectory::~PLRSourceDirectory()
{
    m_stopping = true;
    m_watching = false;
    m_queue.reset();   // lets a running scan end; no further scans run
    QMutexLocker lock(&m_progress->mutex);
    m_progress->callback = nullptr;
}

qint64 PLRSourceDirectory::state() const
{
    QMutexLocker lock(&m_mutex);
    return m_state;
}

bool PLRSourceDirectory::locationExisits() const
{
    const QString folder = path();
    return !folder.isEmpty() && QFileInfo(folder).isDir();
}

QUrl PLRSourceDirectory::location() const
{
    const QString folder = path();
    return folder.isEmpty() ? QUrl() : QUrl::fromLocalFile(folder);
}

QString PLRSourceDirectory::path() const
{
    QMutexLocker lock(&m_mutex);
    return m_path;
}

void PLRSourceDirectory::resetCache()
{
    for (const auto& image : images())
        image->resetCache();
}

QList<PLRSourceImagePtr> PLRSourceDirectory::images() const
{
    QMutexLocker lock(&m_mutex);
    return m_images;
}

QList<PLRSourceImagePtr> PLRSourceDirectory::vanishedImages() const
{
    QMutexLocker lock(&m_mutex);
    return m_vanished;
}

PLRSourceImagePtr PLRSourceDirectory::sourceImageForIdentifier(const QString& identifier) const
{
    if (identifier.isEmpty())
        return nullptr;
    QMutexLocker lock(&m_mutex);
    return m_byIdentifier.value(identifier);
}

qint64 PLRSourceDirectory::updateImagesInLayout(const QSet<QString>& identifiers)
{
    qint64 count = 0;
    for (const auto& image : images()) {
        const bool used = identifiers.contains(image->identifier());
        image->setInLayout(used);
        count += used ? 1 : 0;
    }
    for (const auto& image : vanishedImages())
        image->setInLayout(identifiers.contains(image->identifier()));
    return count;
}

QStringList PLRSourceDirectory::unusablePhotosForIdentifiers(const QSet<QString>& identifiers) const
{
    QStringList unusable;
    for (const QString& identifier : identifiers) {
        const PLRSourceImagePtr image = sourceImageForIdentifier(identifier);
        const PLRPhotoProblem problem = !image ? PLRPhotoProblem::Missing
                                               : (!QFileInfo::exists(image->path()) ? PLRPhotoProblem::Missing : image->checkedProblem());
        if (problem != PLRPhotoProblem::None)
            unusable.append(QStringLiteral("%1: %2").arg(image ? image->fileName() : identifier, describePhotoProblem(problem)));
    }
    unusable.sort(Qt::CaseInsensitive);
    return unusable;
}

void PLRSourceDirectory::followProblems(const PLRSourceImagePtr& image)
{
    std::weak_ptr<PLRSourceImage> weak = image;
    connect(image.get(), &PLRSourceImage::problemChanged, this, [this, weak] {
        const PLRSourceImagePtr changed = weak.lock();
        if (!changed || m_stopping)
            return;
        deliverToDelegates([this, changed](PLRSourceDirectoryDelegate* delegate) {
            delegate->sourceDirectoryUpdatedImage(this, changed);
        });
        // Found unusable while the folder moved: judged again once the folder is still.
        if (m_watching && changed->problemInDoubt())
            rescanAfter(m_config.debounceMs / 1000.0);
    }, Qt::QueuedConnection);
}

void PLRSourceDirectory::waitUntilIdle()
{
    if (m_queue)
        m_queue->waitUntilIdle();
}

void PLRSourceDirectory::setState(qint64 state)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_state == state)
            return;
        m_state = state;
    }
    notifyDelegates([this, state](PLRSourceDirectoryDelegate* delegate) {
        delegate->sourceDirectoryUpdatedState(this, state);
    });
}

void PLRSourceDirectory::resort()
{
    QMutexLocker lock(&m_mutex);
    PLRSourceDirectoryOrdering::sort(m_images, m_ordering.sortType(), m_ordering.sortOrder());
}
