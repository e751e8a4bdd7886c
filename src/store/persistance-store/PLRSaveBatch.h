#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

class PLRPersistantResource;

// One bundle's serialised state: what the save queue writes. It holds bytes and value
// copies only; the live records stay on the main thread.
struct PLRBundleWrite {
    QString bundlePath;                       // the bundle folder, made when missing
    QString description;                      // for log lines ("post <id>")
    std::vector<std::pair<QString, QByteArray>> files;   // name in the bundle -> bytes
    std::vector<QString> removedFiles;        // names in the bundle that no longer apply
    QString plistName = QStringLiteral("info.plist");    // written last: it completes a bundle
    QVariantMap plist;
    // The plist's bytes, or empty with the reason when it cannot be written (the bundle's write
    // then fails, its files on disk untouched); none: the plist as XML.
    QByteArray (*plistBytes)(const QVariantMap& plist, platform::Error* error) = nullptr;
    QPointer<PLRPersistantResource> origin;   // told on the main thread when the write failed
    // Told on the main thread, with the reason, when plistBytes refused the plist: the file on
    // disk stays as it was, and every save will refuse it again until what it holds changes.
    std::function<void(const platform::Error& reason)> refused;
    // A bundle that is only ever seen whole (a post): when its folder is missing, every write of
    // the batch to that folder goes into a staging folder beside it ("<folder>.partial"), which
    // takes the folder's name once complete and never replaces anything that came meanwhile.
    bool appearsWhole = false;
};

// Everything one save writes, in order.
struct PLRSaveBatch {
    std::vector<PLRBundleWrite> bundles;

    // Runs on the save queue: writes every bundle, each file atomically, flushing the whole
    // batch to the disk together; files whose bytes did not change are not written again.
    // Returns true only when every write succeeded; a failed bundle is logged and marked
    // changed again. `written`, when given, is told the same as soon as the batch is on the
    // disk, before the old copies of the replaced files are removed.
    bool write(const std::function<void(bool)>& written = {}) const;
    bool isEmpty() const { return bundles.empty(); }
};

// Writes one bundle now (on the calling thread).
bool writeBundle(const PLRBundleWrite& bundle);
