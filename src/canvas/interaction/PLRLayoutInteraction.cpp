#include "canvas/interaction/PLRLayoutInteraction.h"

#include "platform/Log.h"

#include <QMimeData>
#include <QSet>

namespace PLRImageReferencePasteboard {

QMimeData* mimeDataForIdentifiers(const QStringList& identifiers)
{
    auto* mimeData = new QMimeData;
    writeIdentifiers(mimeData, identifiers);
    return mimeData;
}

void writeIdentifiers(QMimeData* mimeData, const QStringList& identifiers)
{
    if (!mimeData)
        return;
    QStringList lines;
    for (const QString& identifier : identifiers) {
        const QString trimmed = identifier.trimmed();
        if (!trimmed.isEmpty() && !trimmed.contains(u'\n') && !trimmed.contains(u'\r'))
            lines.append(trimmed);
    }
    mimeData->setData(QString::fromLatin1(kType), lines.join(u'\n').toUtf8());
}

bool hasImageReferences(const QMimeData* mimeData)
{
    return mimeData && mimeData->hasFormat(QString::fromLatin1(kType));
}

QStringList identifiersFromData(const QByteArray& data)
{
    QStringList identifiers;
    QSet<QString> seen;
    const QString text = QString::fromUtf8(data);
    qsizetype start = 0;
    bool capped = false;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        const QString identifier = text.mid(start, end - start).trimmed();
        start = end + 1;
        if (identifier.isEmpty() || seen.contains(identifier))
            continue;
        if (identifiers.size() >= kMaximumIdentifiers) {
            capped = true;
            break;
        }
        seen.insert(identifier);
        identifiers.append(identifier);
    }
    if (capped)
        PLR_LOG_WARN(QStringLiteral("A drag of more than %1 photos: only the first %1 are read").arg(kMaximumIdentifiers));
    return identifiers;
}

QStringList identifiersFromMimeData(const QMimeData* mimeData)
{
    if (!hasImageReferences(mimeData))
        return {};
    return identifiersFromData(mimeData->data(QString::fromLatin1(kType)));
}

} // namespace PLRImageReferencePasteboard

namespace PLRBlockPasteboard {

namespace {

struct NewBlockFormat {
    int kind;
    const char* type;
    const char* name;
};

constexpr NewBlockFormat kNewBlockFormats[] = {
    {plr::kBlockKindText, kTextType, "text"},
    {plr::kBlockKindBlank, kBlankType, "blank"},
    {plr::kBlockKindDownloadButton, kDownloadButtonType, "downloadbutton"},
};

} // namespace

QMimeData* mimeDataForNewBlock(int kind)
{
    for (const NewBlockFormat& format : kNewBlockFormats) {
        if (format.kind == kind) {
            auto* mimeData = new QMimeData;
            mimeData->setData(QString::fromLatin1(format.type), QByteArray(format.name));
            return mimeData;
        }
    }
    return nullptr;
}

int newBlockKindFromMimeData(const QMimeData* mimeData)
{
    if (!mimeData)
        return plr::kBlockKindNone;
    for (const NewBlockFormat& format : kNewBlockFormats) {
        if (mimeData->hasFormat(QString::fromLatin1(format.type)))
            return format.kind;
    }
    return plr::kBlockKindNone;
}

QMimeData* mimeDataForBlocks(const QString& token, const QStringList& blockIdentifiers)
{
    auto* mimeData = new QMimeData;
    QStringList lines{token.trimmed()};
    for (const QString& identifier : blockIdentifiers) {
        const QString trimmed = identifier.trimmed();
        if (!trimmed.isEmpty() && !trimmed.contains(u'\n') && !trimmed.contains(u'\r'))
            lines.append(trimmed);
    }
    mimeData->setData(QString::fromLatin1(kBlockType), lines.join(u'\n').toUtf8());
    return mimeData;
}

bool hasBlockReferences(const QMimeData* mimeData)
{
    return mimeData && mimeData->hasFormat(QString::fromLatin1(kBlockType));
}

BlockReferences blockReferencesFromMimeData(const QMimeData* mimeData)
{
    BlockReferences references;
    if (!hasBlockReferences(mimeData))
        return references;
    const QString text = QString::fromUtf8(mimeData->data(QString::fromLatin1(kBlockType)));
    const qsizetype firstEnd = text.indexOf(u'\n');
    references.token = text.left(firstEnd < 0 ? text.size() : firstEnd).trimmed();
    if (firstEnd < 0)
        return references;
    QStringList identifiers = PLRImageReferencePasteboard::identifiersFromData(text.mid(firstEnd + 1).toUtf8());
    if (identifiers.size() > kMaximumBlocks)
        identifiers = identifiers.mid(0, kMaximumBlocks);
    references.identifiers = identifiers;
    return references;
}

} // namespace PLRBlockPasteboard
