#pragma once

#include <QDateTime>
#include <QString>

// What a photo's embedded metadata (EXIF and XMP) says, as the metadata module
// (pellora-metadata.so) reads it. The module is loaded when a photo's metadata is first read,
// so the metadata library is not loaded at start-up.
struct PLREmbeddedMetadata {
    int orientation = 0;          // EXIF orientation 1..8; 0 when the photo gives none
    bool rated = false;           // a star rating was found
    double starRating = 0.0;      // as written (not clamped)
    bool labelled = false;        // a colour label was found
    QString colourLabel;
    QDateTime creationDate;       // UTC; invalid when the photo gives no date
    qint64 dpi = 0;               // from the EXIF resolution; 0 when none
    QString error;                // why the metadata could not be read (what was read before stays)
};

namespace plr_metadata_module {

inline constexpr const char* kFileName = "pellora-metadata.so";
inline constexpr const char* kEntrySymbol = "pellora_read_opened_photo_metadata";

// The module's entry point: reads the photo open at the descriptor `fd` (by offset: the
// descriptor stays open and its position is not used), never the file at a path, so that what
// it reads is the file the caller opened wherever it goes meanwhile; `name` names it in
// messages. `debugLog` receives the metadata library's own messages. Never throws.
using Entry = void (*)(int fd, const QString& name, PLREmbeddedMetadata* into, void (*debugLog)(const QString& message));

} // namespace plr_metadata_module
