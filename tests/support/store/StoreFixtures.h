#pragma once

// Test support of the store (pellora_testsupport_store): photos written for the tests, the
// store's install, and the one "signed in, photos on disk, post open" builder the layers above
// build on.

#include "TestSupport.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <string>

class PLRPostManager;
class PLRUserSession;

namespace testing_support {

// A photo to write: a JPEG of the given size. With a colour, a soft gradient in that colour
// (a render shows where each one went); without, a gradient over the frame with a red block at
// the top left (orientation shows) and `dpi` in its header. Stars and a colour label ("Red",
// "Green"...) go into XMP.
struct TestPhoto {
    QString name;
    int width = 60;
    int height = 40;
    QColor colour = QColor();
    int stars = 0;
    QString label = QString();
    int dpi = 72;
};

bool writePhoto(const QString& path, const TestPhoto& photo);
// Sets metadata through exiv2: keys starting "Xmp." go to the XMP packet, "Exif." to EXIF.
bool tagPhoto(const QString& path, const std::map<std::string, std::string>& values);
// A folder of the given photos under the test's home (made even when the list is empty).
QString writePhotoFolder(const QList<TestPhoto>& photos, const QString& name = QStringLiteral("photos"));
// `count` plain photos named p01.jpg, p02.jpg...
QList<TestPhoto> plainPhotos(int count);

// Photos that cannot be drawn whole, as they turn up in folders: the file at `path` cut to the
// given share of its bytes (a copy that stopped early), and a JPEG whose header says it is
// `width` x `height` over the pixels of a small picture. False when the file could not be written.
bool cutShort(const QString& path, double share = 0.6);
bool writeJpegWithLyingHeader(const QString& path, int width = 30000, int height = 30000);

// The store's install, as the composition root calls it.
void installStoreLibraries();

// Signs in the test account (no service: the session is stored as a sign-in would store it).
PLRUserSession* signIn(const QString& userId = QStringLiteral("u-1"),
                       const QString& email = QStringLiteral("ann@example.com"));

// Signed in, photos on disk, post open: a new post on a folder of the photos, its photos listed.
struct OpenPost {
    QString folder;
    PLRUserSession* session = nullptr;
    PLRPostManager* manager = nullptr;
    // File name -> the photo's identifier in the post.
    QHash<QString, QString> identifiers;
    // Everything above was made (the test should ASSERT it).
    bool ok = false;
};
struct OpenPostOptions {
    QString title = QStringLiteral("Trip");
    QString folderName = QStringLiteral("photos");
    // Writes one photo (a test may draw its own); writePhoto when empty.
    std::function<bool(const QString& path, const TestPhoto& photo)> writer;
    int timeoutMs = 10000;
};
OpenPost openPost(const QList<TestPhoto>& photos, const OpenPostOptions& options = OpenPostOptions());
// The same on a folder the test wrote itself, once `expectedPhotos` photos are listed.
OpenPost openPostOnFolder(const QString& folder, qsizetype expectedPhotos,
                          const OpenPostOptions& options = OpenPostOptions());

} // namespace testing_support
