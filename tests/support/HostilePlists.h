#pragma once

#include <QByteArray>
#include <QList>

// Property lists built to hurt a reader: deep nesting, and binary ones whose shared objects
// multiply when read out.
namespace hostile {

inline QByteArray deepXmlPlist(int depth)
{
    QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    bytes.reserve(bytes.size() + depth * 15 + 16);
    for (int i = 0; i < depth; ++i)
        bytes += "<array>";
    for (int i = 0; i < depth; ++i)
        bytes += "</array>";
    bytes += "</plist>\n";
    return bytes;
}

// A binary plist of `levels` arrays, each holding `fanOut` references to the next (the last
// one empty): nesting `levels` deep, fanOut^levels values when read out.
inline QByteArray binaryArrayChain(int levels, int fanOut)
{
    const auto put = [](QByteArray& out, quint64 value, int width) {
        for (int i = width - 1; i >= 0; --i)
            out.append(char((value >> (8 * i)) & 0xFF));
    };
    QByteArray bytes = "bplist00";
    QList<quint64> offsets;
    for (int i = 0; i <= levels; ++i) {
        offsets.append(quint64(bytes.size()));
        const int count = i == levels ? 0 : fanOut;
        if (count < 15) {
            bytes.append(char(0xA0 | count));
        } else {
            bytes.append(char(0xAF));
            bytes.append(char(0x11));   // a two-byte integer follows
            put(bytes, quint64(count), 2);
        }
        for (int k = 0; k < count; ++k)
            put(bytes, quint64(i + 1), 4);
    }
    const quint64 tableOffset = quint64(bytes.size());
    for (quint64 offset : offsets)
        put(bytes, offset, 4);
    bytes.append(QByteArray(6, '\0'));
    bytes.append(char(4));   // offset size
    bytes.append(char(4));   // reference size
    put(bytes, quint64(offsets.size()), 8);
    put(bytes, 0, 8);        // the top object
    put(bytes, tableOffset, 8);
    return bytes;
}

} // namespace hostile
