#include "publishing/export/PLRExportNames.h"

#include <algorithm>
#include <cmath>

namespace plr_export {

float interpolateQualityValue(qint64 quality)
{
    const float q = float(std::clamp<qint64>(quality, 0, 100));
    if (q < float(kQualityKnee))
        return q / 100.0f;
    const float knee = float(kQualityKnee);
    return (knee + (q - knee) * (float(kCompressionAtBestQuality) - knee) / (100.0f - knee)) / 100.0f;
}

int jpegQuality(float compression)
{
    if (!std::isfinite(compression))
        return 100;
    return int(std::lround(std::clamp(double(compression), 0.0, 1.0) * 100.0));
}

QString numberPrefix(qint64 number, qint64 count)
{
    const int digits = int(QString::number(std::max<qint64>(count, 0)).size());
    return QStringLiteral("%1").arg(number, digits, 10, QLatin1Char('0'));
}

namespace {

void collect(const PLRBlock& block, const PhotoLookup& lookup, bool names, QSet<QString>& into)
{
    switch (plr::typeOneOfCase(block)) {
    case plr::kBlockKindImage: {
        if (!lookup)
            return;
        const PhotoFacts facts = lookup(QString::fromStdString(block.image().img_ref()));
        if (names) {
            if (!facts.fileName.isEmpty()) {
                const int dot = facts.fileName.lastIndexOf(QLatin1Char('.'));
                into.insert(dot > 0 ? facts.fileName.left(dot) : facts.fileName);
            }
        } else {
            for (const QString& keyword : facts.keywords)
                if (!keyword.trimmed().isEmpty())
                    into.insert(keyword);
        }
        return;
    }
    case plr::kBlockKindContainer:
        for (const PLRBlock& sub : block.container().sub_blocks())
            collect(sub, lookup, names, into);
        return;
    default:
        return;
    }
}

QStringList sorted(const QSet<QString>& set)
{
    QStringList list(set.begin(), set.end());
    list.sort();
    return list;
}

} // namespace

QSet<QString> namesForBlock(const PLRBlock& block, const PhotoLookup& lookup)
{
    QSet<QString> names;
    collect(block, lookup, true, names);
    return names;
}

QSet<QString> keywordsForBlock(const PLRBlock& block, const PhotoLookup& lookup)
{
    QSet<QString> keywords;
    collect(block, lookup, false, keywords);
    return keywords;
}

QString sanitizedPart(const QString& part)
{
    QString safe;
    safe.reserve(part.size());
    for (const QChar c : part) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F)
            safe.append(QLatin1Char('-'));
        else
            safe.append(c);
    }
    return safe;
}

QString exportNameForBlock(const PLRBlock& block, const QString& prefix, qint64 options, const PhotoLookup& lookup)
{
    QStringList parts;
    if (!prefix.isNull() && (options & kNameOptionPrefix))
        parts.append(prefix);
    if (options & kNameOptionOriginalNames)
        for (const QString& name : sorted(namesForBlock(block, lookup)))
            parts.append(sanitizedPart(name));
    if (options & kNameOptionKeywords)
        for (const QString& keyword : sorted(keywordsForBlock(block, lookup)))
            parts.append(sanitizedPart(keyword));
    return parts.join(QLatin1String(kPartSeparator));
}

bool isFileNameTooLong(const QString& fileName)
{
    return fileName.size() > kMaxFileNameLength || fileName.toUtf8().size() > kMaxFileNameBytes;
}

bool hasNamesExceedingLimit(const PLRLayout& layout, qint64 options, const PhotoLookup& lookup)
{
    if (layout.sections_size() == 0)
        return false;
    const PLRSection& section = layout.sections(0);
    const qint64 count = section.blocks_size();
    qint64 number = 1;
    for (const PLRBlock& block : section.blocks()) {
        if (isExportedBlock(block)) {
            const QString name = exportNameForBlock(block, numberPrefix(number, count), options, lookup)
                + QLatin1String(kFileExtension);
            if (isFileNameTooLong(name))
                return true;
        }
        ++number;
    }
    return false;
}

QSet<qint64> exportedBlockNumbers(const PLRLayout& layout)
{
    QSet<qint64> numbers;
    if (layout.sections_size() == 0)
        return numbers;
    qint64 number = 1;
    for (const PLRBlock& block : layout.sections(0).blocks()) {
        if (isExportedBlock(block))
            numbers.insert(number);
        ++number;
    }
    return numbers;
}

bool isAcceptableFolderName(const QString& name)
{
    if (name.trimmed().isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QChar(0)))
        return false;
    return name.toUtf8().size() <= kMaxFileNameBytes;
}

} // namespace plr_export
