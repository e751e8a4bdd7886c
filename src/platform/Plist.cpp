#include "platform/Plist.h"

#include "platform/Files.h"

#include <QDateTime>
#include <QUrl>
#include <QXmlStreamReader>

#include <cstring>

#include <limits>
#include <vector>

#include <plist/plist.h>

namespace platform::plist {

namespace {

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
constexpr qint64 kReferenceEpoch = 978307200;
constexpr int kMaxDepth = kMaxNestingDepth;
// A binary property list may name one object from many places; read out, the copies must stay
// within this many values.
constexpr qint64 kMaxBinaryValues = 2000000;

// XML is read here, not by libplist: its reader recurses once per level of nesting, and
// no scan in front of it sees the nesting the way it does (markup hidden in attribute values,
// comments and the like). This reader keeps its own stack, so the depth it refuses is the
// depth it met.
class XmlReader {
public:
    explicit XmlReader(const QByteArray& data) : m_reader(data) {}

    QVariant read(QString* failure)
    {
        QVariant result;
        bool haveResult = false;
        bool inPlist = false;
        int elements = 0;
        while (!m_reader.atEnd()) {
            switch (m_reader.readNext()) {
            case QXmlStreamReader::StartElement: {
                const QStringView name = m_reader.name();
                if (++elements == 1 && name == u"plist") {
                    inPlist = true;
                    break;
                }
                if (haveResult && m_stack.empty())
                    return refuse(failure, QStringLiteral("more than one value at the top"));
                QVariant value;
                bool complete = true;
                if (name == u"array" || name == u"dict") {
                    if (int(m_stack.size()) >= kMaxDepth)
                        return refuse(failure, QStringLiteral("nested deeper than %1 levels").arg(kMaxDepth));
                    m_stack.push_back(Frame{name == u"dict", {}, {}, {}, false});
                    complete = false;
                } else if (name == u"key") {
                    if (m_stack.empty() || !m_stack.back().dictionary || m_stack.back().haveKey)
                        return refuse(failure, QStringLiteral("a key out of place"));
                    m_stack.back().key = text();
                    m_stack.back().haveKey = true;
                    complete = false;
                } else if (!scalar(name, &value, failure)) {
                    return {};
                }
                if (m_reader.hasError())
                    return refuse(failure, m_reader.errorString());
                if (complete && !place(std::move(value), &result, &haveResult, failure))
                    return {};
                break;
            }
            case QXmlStreamReader::EndElement: {
                const QStringView name = m_reader.name();
                if (name != u"array" && name != u"dict")
                    break;   // the end of plist
                Frame frame = std::move(m_stack.back());
                m_stack.pop_back();
                if (frame.haveKey)
                    return refuse(failure, QStringLiteral("a key without a value"));
                QVariant value = frame.dictionary ? QVariant(std::move(frame.map)) : QVariant(std::move(frame.list));
                if (!place(std::move(value), &result, &haveResult, failure))
                    return {};
                break;
            }
            case QXmlStreamReader::Characters:
                if (!m_reader.isWhitespace())
                    return refuse(failure, QStringLiteral("text outside a value"));
                break;
            default:
                break;   // the declaration, the document type, comments, instructions
            }
        }
        if (m_reader.hasError())
            return refuse(failure, m_reader.errorString());
        if (!haveResult)
            return refuse(failure, inPlist ? QStringLiteral("no value") : QStringLiteral("no property list"));
        return result;
    }

private:
    struct Frame {
        bool dictionary;
        QVariantList list;
        QVariantMap map;
        QString key;
        bool haveKey;
    };

    QVariant refuse(QString* failure, const QString& why)
    {
        if (failure && failure->isEmpty())
            *failure = QStringLiteral("%1 (line %2)").arg(why).arg(m_reader.lineNumber());
        return {};
    }

    // The text of a value element; another element inside it is an error of the reader.
    QString text() { return m_reader.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement); }

    bool place(QVariant value, QVariant* result, bool* haveResult, QString* failure)
    {
        if (m_stack.empty()) {
            *result = std::move(value);
            *haveResult = true;
            return true;
        }
        Frame& top = m_stack.back();
        if (!top.dictionary) {
            top.list.append(std::move(value));
            return true;
        }
        if (!top.haveKey) {
            refuse(failure, QStringLiteral("a value without a key"));
            return false;
        }
        top.map.insert(top.key, std::move(value));
        top.haveKey = false;
        return true;
    }

    bool scalar(QStringView name, QVariant* value, QString* failure)
    {
        if (name == u"string") {
            *value = text();
            return true;
        }
        if (name == u"true" || name == u"false") {
            if (!text().trimmed().isEmpty()) {
                refuse(failure, QStringLiteral("text inside <%1>").arg(name));
                return false;
            }
            *value = name == u"true";
            return true;
        }
        const QString content = text().trimmed();
        bool ok = false;
        if (name == u"integer") {
            const QByteArray digits = content.toLatin1();
            const bool hex = digits.startsWith("0x") || digits.startsWith("0X");
            qint64 number = digits.mid(hex ? 2 : 0).toLongLong(&ok, hex ? 16 : 10);
            if (!ok)   // beyond qint64: read as unsigned and kept bit for bit
                number = qint64(digits.mid(hex ? 2 : 0).toULongLong(&ok, hex ? 16 : 10));
            *value = number;
        } else if (name == u"real") {
            const QString lower = content.toLower();
            if (lower == u"nan") {
                ok = true;
                *value = std::numeric_limits<double>::quiet_NaN();
            } else if (lower == u"inf" || lower == u"+inf" || lower == u"infinity" || lower == u"+infinity") {
                ok = true;
                *value = std::numeric_limits<double>::infinity();
            } else if (lower == u"-inf" || lower == u"-infinity") {
                ok = true;
                *value = -std::numeric_limits<double>::infinity();
            } else {
                *value = content.toDouble(&ok);
            }
        } else if (name == u"date") {
            QDateTime date = QDateTime::fromString(content, Qt::ISODateWithMs);
            ok = date.isValid();
            *value = date.toUTC();
        } else if (name == u"data") {
            QByteArray packed = content.toLatin1();
            packed.removeIf([](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; });
            const auto decoded = QByteArray::fromBase64Encoding(packed, QByteArray::AbortOnBase64DecodingErrors);
            ok = bool(decoded);
            *value = *decoded;
        } else {
            refuse(failure, QStringLiteral("an unknown element <%1>").arg(name));
            return false;
        }
        if (!ok && !m_reader.hasError())
            refuse(failure, QStringLiteral("an unreadable <%1>").arg(name));
        return ok;
    }

    QXmlStreamReader m_reader;
    std::vector<Frame> m_stack;
};

// Binary (read by libplist): walks the object graph without recursion; refuses cycles, nesting deeper than the
// reader allows and graphs whose read-out copies would be too many.
bool binaryStructureWithinLimits(const QByteArray& data)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const quint64 size = quint64(data.size());
    if (size < 8 + 32)
        return true;   // the parser refuses it
    const auto readUInt = [&](quint64 at, unsigned width, quint64* value) {
        if (width == 0 || width > 8 || at + width > size)
            return false;
        quint64 v = 0;
        for (unsigned i = 0; i < width; ++i)
            v = (v << 8) | bytes[at + i];
        *value = v;
        return true;
    };
    const quint64 trailer = size - 32;
    const unsigned offsetSize = bytes[trailer + 6];
    const unsigned refSize = bytes[trailer + 7];
    quint64 count = 0, top = 0, tableOffset = 0;
    if (!readUInt(trailer + 8, 8, &count) || !readUInt(trailer + 16, 8, &top) || !readUInt(trailer + 24, 8, &tableOffset))
        return false;
    if (offsetSize == 0 || offsetSize > 8 || refSize == 0 || refSize > 8 || count == 0 || count > size
        || top >= count || tableOffset >= size || count * offsetSize > size - tableOffset)
        return false;

    // The children of an object (arrays, sets, dictionaries: keys and values); false when the
    // object cannot be read.
    const auto children = [&](quint64 index, std::vector<quint64>* out) {
        out->clear();
        quint64 offset = 0;
        if (!readUInt(tableOffset + index * offsetSize, offsetSize, &offset) || offset >= size)
            return false;
        const unsigned marker = bytes[offset];
        const unsigned type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD)
            return true;
        quint64 n = marker & 0x0F;
        quint64 at = offset + 1;
        if (n == 0x0F) {
            if (at >= size || (bytes[at] >> 4) != 0x1)
                return false;
            const unsigned width = 1u << (bytes[at] & 0x0F);
            if (!readUInt(at + 1, width, &n))
                return false;
            at += 1 + width;
        }
        const quint64 refs = type == 0xD ? n * 2 : n;
        if (n > size || refs * refSize > size - std::min(size, at))
            return false;
        out->reserve(size_t(refs));
        for (quint64 i = 0; i < refs; ++i) {
            quint64 ref = 0;
            if (!readUInt(at + i * refSize, refSize, &ref) || ref >= count)
                return false;
            out->push_back(ref);
        }
        return true;
    };

    enum : unsigned char { Unseen, Open, Done };
    std::vector<unsigned char> state(size_t(count), Unseen);
    std::vector<int> depth(size_t(count), 0);
    std::vector<qint64> values(size_t(count), 0);
    struct Frame {
        quint64 index;
        std::vector<quint64> children;
        size_t next = 0;
    };
    std::vector<Frame> stack;
    stack.push_back({top, {}, 0});
    if (!children(top, &stack.back().children))
        return false;
    state[size_t(top)] = Open;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next < frame.children.size()) {
            const quint64 child = frame.children[frame.next++];
            if (state[size_t(child)] == Open)
                return false;   // a cycle
            if (state[size_t(child)] == Unseen) {
                if (stack.size() > size_t(kMaxDepth))
                    return false;
                Frame next{child, {}, 0};
                if (!children(child, &next.children))
                    return false;
                state[size_t(child)] = Open;
                stack.push_back(std::move(next));
            }
            continue;
        }
        int deepest = 0;
        qint64 total = 1;
        for (const quint64 child : frame.children) {
            deepest = std::max(deepest, depth[size_t(child)]);
            total += values[size_t(child)];
            if (total > kMaxBinaryValues)
                return false;
        }
        if (deepest + 1 > kMaxDepth)
            return false;
        depth[size_t(frame.index)] = deepest + 1;
        values[size_t(frame.index)] = total;
        state[size_t(frame.index)] = Done;
        stack.pop_back();
    }
    return true;
}

void fail(Error* error, const QString& description)
{
    if (error)
        *error = Error::make(kErrorDomain, 3840, description);
}

QVariant toVariant(plist_t node, int depth, bool* ok)
{
    if (!node) {
        *ok = false;
        return {};
    }
    if (depth > kMaxDepth) {
        *ok = false;
        return {};
    }
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!value) {
                free(key);
                break;
            }
            const QString k = QString::fromUtf8(key ? key : "");
            free(key);
            map.insert(k, toVariant(value, depth + 1, ok));
            if (!*ok)
                break;
        }
        free(it);
        return map;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n && *ok; ++i)
            list << toVariant(plist_array_get_item(node, i), depth + 1, ok);
        return list;
    }
    case PLIST_STRING: {
        char* s = nullptr;
        plist_get_string_val(node, &s);
        const QString value = QString::fromUtf8(s ? s : "");
        free(s);
        return value;
    }
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return bool(b);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return qint64(v);
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return d;
    }
    case PLIST_DATA: {
        char* data = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &data, &length);
        const QByteArray bytes(data ? data : "", data ? qsizetype(length) : 0);
        free(data);
        return bytes;
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return QDateTime::fromMSecsSinceEpoch((kReferenceEpoch + sec) * 1000 + usec / 1000, Qt::UTC);
    }
    case PLIST_KEY:
    case PLIST_UID:
    case PLIST_NONE:
    default:
        return QVariant();
    }
}

plist_t fromVariant(const QVariant& value, bool* ok)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            if (!it.value().isValid() || it.value().typeId() == QMetaType::Nullptr)
                continue;   // property lists have no null: absent keys are left out
            plist_t item = fromVariant(it.value(), ok);
            if (!item) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, it.key().toUtf8().constData(), item);
        }
        return dict;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QVariant& v : value.toList()) {
            plist_t item = fromVariant(v, ok);
            if (!item) {
                plist_free(array);
                return nullptr;
            }
            plist_array_append_item(array, item);
        }
        return array;
    }
    case QMetaType::QString:
        return plist_new_string(value.toString().toUtf8().constData());
    case QMetaType::QUrl:
        return plist_new_string(value.toUrl().toString().toUtf8().constData());
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - kReferenceEpoch * 1000;
        const qint64 sec = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
        return plist_new_date(int32_t(sec), int32_t((ms - sec * 1000) * 1000));
    }
    default:
        *ok = false;
        return nullptr;
    }
}

} // namespace

QVariant fromData(const QByteArray& data, Error* error)
{
    if (data.isEmpty()) {
        fail(error, QStringLiteral("The property list is empty."));
        return {};
    }
    if (data.size() > std::numeric_limits<int32_t>::max()) {
        fail(error, QStringLiteral("The property list is too large."));
        return {};
    }
    if (!data.startsWith("bplist00")) {
        QString failure;
        QVariant value = XmlReader(data).read(&failure);
        if (!value.isValid())
            fail(error, QStringLiteral("The property list could not be read: %1.").arg(failure));
        return value;
    }
    if (!binaryStructureWithinLimits(data)) {
        fail(error, QStringLiteral("The property list is nested too deeply or is malformed."));
        return {};
    }
    plist_t root = nullptr;
    plist_from_memory(data.constData(), uint32_t(data.size()), &root);
    if (!root) {
        fail(error, QStringLiteral("The property list could not be read."));
        return {};
    }
    bool ok = true;
    QVariant result = toVariant(root, 0, &ok);
    plist_free(root);
    if (!ok) {
        fail(error, QStringLiteral("The property list could not be read."));
        return {};
    }
    return result;
}

QByteArray toXml(const QVariant& value, Error* error)
{
    bool ok = true;
    plist_t root = fromVariant(value, &ok);
    if (!root || !ok) {
        if (root)
            plist_free(root);
        fail(error, QStringLiteral("The value cannot be written as a property list."));
        return {};
    }
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    plist_free(root);
    QByteArray bytes(xml ? xml : "", xml ? qsizetype(length) : 0);
    if (xml)
        plist_to_xml_free(xml);
    if (bytes.isEmpty()) {
        fail(error, QStringLiteral("The value cannot be written as a property list."));
        return bytes;
    }
    // The text is written as it is: what XML cannot hold would make the whole file unreadable.
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0, size = bytes.size(); i < size; ++i) {
        const unsigned char c = at[i];
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            || (c == 0xEF && i + 2 < size && at[i + 1] == 0xBF && (at[i + 2] == 0xBE || at[i + 2] == 0xBF))) {
            fail(error, QStringLiteral("The value holds a character a property list cannot hold (a control character)."));
            return {};
        }
    }
    return bytes;
}

bool canHold(QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF)
            return false;
    }
    return true;
}

QVariant readFile(const QString& path, Error* error, qint64 limit)
{
    QByteArray bytes;
    if (!files::readAll(path, &bytes, error, limit))
        return {};
    Error parseError;
    QVariant value = fromData(bytes, &parseError);
    if (!value.isValid() && error) {
        // The description names the file, so every log line about it does.
        *error = Error::make(kErrorDomain, parseError.code,
                             QStringLiteral("%1 (%2)").arg(parseError.localizedDescription(), path),
                             QStringLiteral("The file \"%1\" is not a valid property list.").arg(path));
    }
    return value;
}

QVariantMap readDictionary(const QString& path, bool* ok, Error* error, qint64 limit)
{
    const QVariant value = readFile(path, error, limit);
    const bool isDict = value.typeId() == QMetaType::QVariantMap;
    if (!isDict && value.isValid() && error)
        *error = Error::make(kErrorDomain, 3840, QStringLiteral("The file \"%1\" does not hold a dictionary.").arg(path));
    if (ok)
        *ok = isDict;
    return isDict ? value.toMap() : QVariantMap();
}

bool writeFile(const QString& path, const QVariant& value, Error* error)
{
    const QByteArray xml = toXml(value, error);
    if (xml.isEmpty())
        return false;
    return files::writeAtomically(path, xml, error);
}

} // namespace platform::plist
