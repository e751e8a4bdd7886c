#pragma once

// Photos decoded at the size they are needed at, never larger than that needs.
//
// A JPEG is decoded by libjpeg-turbo at the smallest of its scales (1/8, 2/8 ... 8/8) that still
// covers the wanted size, whatever the photo's orientation (a portrait, or a photo stored sideways
// with an EXIF orientation, decodes as small as a landscape), scaled to the exact size by area
// averaging row by row as it is decoded (the larger decoded picture is never held whole), and
// turned upright on the way (no turned copy is made). Other formats go through Qt's reader (the
// format a file's name gives first, then what its content says). Every picture comes back in
// sRGB. Each decode reads one opened file throughout: a file that moves while it is decoded is
// decoded whole, never judged on parts of two files; one gone before it could be opened is
// Missing, never Unreadable.
//
// A photo that cannot be decoded whole is refused, never handed back with a grey or missing part:
// a file that ends before its picture does (libjpeg's "premature end" warnings; a BMP or GIF
// shorter than its header says) is "cut short"; data that does not match its header (libjpeg's
// corrupt-data warnings, more bytes left over before a marker than a camera's padding, a picture
// of another size than the header's) or is no picture at all is "not readable".

#include "store/persistance-store/source/PLRPhotoProblem.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

namespace plr_image {

class OpenedPhoto;

// The top rows of a picture still being decoded that are final already: its pixels stay where
// they are until the decode ends (32-bit RGB, sRGB).
struct DecodedRows {
    const uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    QSize size;     // the whole picture's
    int rows = 0;   // how many of its top rows are final
};
using RowsDecoded = std::function<void(const DecodedRows&)>;

// The photo file upright at `uprightSize` pixels; at its own (upright) size when `uprightSize`
// is not valid or not smaller than the photo in both directions (a photo is never made larger).
// Null, with the reason in `error` and what is wrong in `problem`, when the file cannot be
// decoded whole. `rowsDecoded` is told on the decoding thread, row after row, as the picture's
// top rows are final, when they come top to bottom in their final colours (a JPEG stored upright
// or mirrored across, in sRGB or without a profile); otherwise it is not told, and the picture
// is whole only when it is handed back. A picture told of may still fail later (null).
QImage decodePhotoAtSize(const QString& path, const QSize& uprightSize, QString* error = nullptr,
                         PLRPhotoProblem* problem = nullptr, const RowsDecoded& rowsDecoded = {});

// The same, turned upright by the given EXIF orientation (1..8; any other value: the file's own)
// rather than the one the file holds, at the size `sizeFor` gives for the photo's upright size
// (the whole photo when `sizeFor` is empty or gives an invalid size). The image cache uses it:
// it sizes its pictures from the photo's size and turns them as the photo's recorded metadata
// says.
QImage decodePhotoUpright(const QString& path, int orientation, const std::function<QSize(const QSize&)>& sizeFor,
                          QString* error = nullptr, PLRPhotoProblem* problem = nullptr);
// The same of a file opened already: the image cache decodes the very file whose size and time
// it stamps its pictures with.
QImage decodePhotoUpright(OpenedPhoto& photo, int orientation, const std::function<QSize(const QSize&)>& sizeFor,
                          QString* error = nullptr, PLRPhotoProblem* problem = nullptr);

// Whether the photo file decodes whole: it is decoded at its smallest scale and dropped (a
// 24-megapixel JPEG takes a few tens of milliseconds). None when it does.
PLRPhotoProblem checkPhoto(const QString& path, QString* error = nullptr);

// The smallest libjpeg scale numerator n (of n/8, 1..8) at which a picture stored at `stored`
// pixels is at least `wanted` (in stored orientation) in both directions.
int jpegScaleNumerator(const QSize& stored, const QSize& wanted);

// What decoding the photo at that size holds in memory at its peak, in bytes (the picture, the
// rows being scaled and, for a progressive JPEG, the whole photo's coefficients); 0 when the file's
// header cannot be read.
qint64 decodeBytesAtSize(const QString& path, const QSize& uprightSize);

} // namespace plr_image
