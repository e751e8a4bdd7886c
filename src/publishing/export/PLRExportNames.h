#pragma once

// File names, numbers and quality of exported pictures: the rules shared by the layout export,
// its name-length check and the export screens.

#include "store/model/PLRLayoutDocument.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace plr_export {

// Name options (a bit set): the number prefix, the photos' file names, the photos' keywords.
inline constexpr qint64 kNameOptionPrefix = 2;
inline constexpr qint64 kNameOptionOriginalNames = 4;
inline constexpr qint64 kNameOptionKeywords = 8;

inline constexpr const char* kFileExtension = ".jpg";
inline constexpr const char* kPartSeparator = "_";
// The longest file name accepted, ".jpg" included: in UTF-16 units, and in bytes of UTF-8 (what
// the file system counts).
inline constexpr int kMaxFileNameLength = 254;
inline constexpr int kMaxFileNameBytes = 255;

inline constexpr qint64 kQualityKnee = 75;
inline constexpr qint64 kCompressionAtBestQuality = 95;

// The user's quality (0-100) as a JPEG compression factor: q / 100 below 75, else
// (0.8 q + 15) / 100, so the encoder is never asked for more than 0.95.
float interpolateQualityValue(qint64 quality);
// The encoder's 0-100 quality for a compression factor (0.74 -> 74).
int jpegQuality(float compression);

// The block's number printed zero-padded to the width of the block count ("07" of 12).
QString numberPrefix(qint64 number, qint64 count);

// What the names of a block's photos are made of, found by image identifier.
struct PhotoFacts {
    QString fileName;        // the photo file's name, empty when the photo has no file
    QStringList keywords;
};
using PhotoLookup = std::function<PhotoFacts(const QString& identifier)>;

// The file names (without extension) of the photos of an image block, or of every image
// block inside a container; each name once. Other blocks: none.
QSet<QString> namesForBlock(const PLRBlock& block, const PhotoLookup& lookup);
// The same for the photos' keywords.
QSet<QString> keywordsForBlock(const PLRBlock& block, const PhotoLookup& lookup);

// One part of a file name made safe for a folder: path separators, control characters and
// NUL become "-", so no part can leave the folder or hide the file.
QString sanitizedPart(const QString& part);

// The file name of a block without extension: the prefix (when given and bit 2 is set), the
// names (bit 4), then the keywords (bit 8), each part sanitised, joined by "_". Names and
// keywords are sorted, so the same block always gets the same name.
QString exportNameForBlock(const PLRBlock& block, const QString& prefix, qint64 options, const PhotoLookup& lookup);

// Whether a file name (extension included) is longer than the exporter accepts: over 254
// UTF-16 units or over 255 bytes of UTF-8.
bool isFileNameTooLong(const QString& fileName);

// Whether the block is exported as a picture of its own (an image or a container).
inline bool isExportedBlock(const PLRBlock& block)
{
    const int kind = plr::typeOneOfCase(block);
    return kind == plr::kBlockKindImage || kind == plr::kBlockKindContainer;
}

// The numbers (1-based, every block counted) of the first section's blocks that a layout export
// writes as files: its image and container blocks.
QSet<qint64> exportedBlockNumbers(const PLRLayout& layout);

// Whether the layout export of the first section with these options would need a name that is
// too long.
bool hasNamesExceedingLimit(const PLRLayout& layout, qint64 options, const PhotoLookup& lookup);

// A sub-folder name the user typed: true when it is one plain folder name (not empty, no "/",
// not "." or "..", not too long).
bool isAcceptableFolderName(const QString& name);

} // namespace plr_export
