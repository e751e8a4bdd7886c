#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QVariant>

// The program's JSON reader and writer.
class PLRJSONSerialization {
public:
    enum ReadingOptions { MutableContainers = 1 << 0, MutableLeaves = 1 << 1, FragmentsAllowed = 1 << 2 };
    enum WritingOptions { PrettyPrinted = 1 << 0 };

    // An invalid QVariant when there is no data (no error then), or when the data does not
    // parse (with the error). FragmentsAllowed accepts a bare top-level value.
    static QVariant JSONObjectWithData(const QByteArray& data, int options = 0, platform::Error* error = nullptr);
    // The value written as UTF-8 JSON (indented with PrettyPrinted); empty on failure.
    static QByteArray dataWithJSONObject(const QVariant& object, int options = 0, platform::Error* error = nullptr);
};
