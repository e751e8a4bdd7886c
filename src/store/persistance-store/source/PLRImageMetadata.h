#pragma once

#include <QDateTime>
#include <QSize>
#include <QString>

// What the photo library reads from a photo file: pixel size, orientation, ratings, dates and
// resolution. Reading never writes the file.
struct PLRImageMetadata {
    bool readable = false;        // the file is an image whose header could be read
    QSize pixelSize;              // as stored, before the orientation is applied
    int orientation = 1;          // EXIF orientation 1..8
    qint16 starRating = 0;        // 0..5
    qint64 colourRating = 0;      // 0 none, 1 red .. 7 grey
    QDateTime creationDate;       // UTC; from the photo's own dates, else the file's
    qint64 dpi = 72;              // resolution of the photo
    bool isGIF = false;
    QString error;                // why the file could not be read
    // The file was not there when it was read (gone, or its folder moving): no verdict on it.
    bool missing = false;
    // The size and modification time (ns) of the file read, as it was opened (-1 when none
    // was); not kept. Whoever meant to read a file of a known size and time tells by them that
    // another one was read (its folder moved, or it is being written).
    qint64 readSize = -1;
    qint64 readModifiedNs = 0;
    // Everything the file tells was read: its picture's header and, through the metadata
    // module, its embedded metadata; or its content was found to be no picture. Only such a
    // reading stands for the file as long as its size and time stay.
    bool complete = false;

    // The size with the orientation applied.
    QSize orientedSize() const;

    // Reads the file, opened once (a file that cannot be found answers missing == true).
    // Problems with the embedded metadata are logged and leave the defaults; a file that is not
    // a readable image answers readable == false.
    static PLRImageMetadata read(const QString& path);

    // A complete reading as one line of text (empty for any other), kept with the photo's
    // record; and read back (false for text that is not such a line).
    QString storedText() const;
    static bool fromStoredText(const QString& text, PLRImageMetadata* metadata);

    // The colour label for a label text (case-insensitive): Red 1, Yellow 2, Green 3, Blue 4,
    // Purple 5, White 6, Grey 7; 0 for anything else.
    static qint64 colourRatingForLabel(const QString& label);
    // A rating text or number clamped to 0..5 (a rejected photo's -1 reads as 0).
    static qint16 starRatingForValue(double value);
};
