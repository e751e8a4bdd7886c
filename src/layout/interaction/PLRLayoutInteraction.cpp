#include "layout/interaction/PLRLayoutInteraction.h"

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
