#include "store/persistance-store/PLRPersistantPost.h"
#include "store/session/PLRCoreManager.h"
#include "platform/Resets.h"

#include "store/persistance-store/PLRPersistantAccount.h"
#include "platform/Alert.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Plist.h"
#include "store/session/PLRPostManager.h"

#include <QFileInfo>
#include <QUuid>

#include <cerrno>

namespace {

void addImageReferences(const PLRBlock& block, QSet<QString>* references)
{
    if (block.has_image()) {
        const QString reference = QString::fromStdString(block.image().img_ref());
        if (!reference.isEmpty())
            references->insert(reference);
    } else if (block.has_container()) {
        for (const PLRBlock& child : block.container().sub_blocks())
            addImageReferences(child, references);
    }
}

bool layoutHasBlocks(const PLRLayout& layout)
{
    for (const PLRSection& section : layout.sections())
        if (section.blocks_size() > 0)
            return true;
    return false;
}

PLRPersistantPost::PreviewProvider& previewProvider()
{
    static PLRPersistantPost::PreviewProvider provider;
    static const bool joined = platform::resets::add([] { provider = nullptr; });
    (void)joined;
    return provider;
}

PLRPersistantPost::MissingImagesCheck& missingImagesCheck()
{
    static PLRPersistantPost::MissingImagesCheck check;
    static const bool joined = platform::resets::add([] { check = nullptr; });
    (void)joined;
    return check;
}

// Dates are kept to the second, as the property list keeps them.
QDateTime nowToTheSecond()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch(), Qt::UTC);
}

QDateTime dateValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().toUTC();
    return {};
}

QString stringValue(const QVariant& value)
{
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QString newIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

void PLRPersistantPost::setPreviewProvider(PreviewProvider provider)
{
    previewProvider() = std::move(provider);
}

void PLRPersistantPost::setMissingImagesCheck(MissingImagesCheck check)
{
    missingImagesCheck() = std::move(check);
}

PLRPersistantPost::PLRPersistantPost(QString identifier, PLRPersistantAccount* account)
    : PLRPersistantResource(std::move(identifier), QString::fromLatin1(kPLRPostCurrentVersion)),
      m_account(account)
{
    // Edits of the post's own fields are written a few seconds later, not only at the
    // periodic save.
    for (auto signal : {&PLRPersistantPost::nameChanged, &PLRPersistantPost::seoTitleChanged,
                        &PLRPersistantPost::metaDescriptionChanged, &PLRPersistantPost::focusKeywordsChanged,
                        &PLRPersistantPost::remoteIdentifierChanged})
        connect(this, signal, this, [] { PLRCoreManager::saveSoon(); });
}

PLRPersistantPost::~PLRPersistantPost() = default;

std::unique_ptr<PLRPersistantPost> PLRPersistantPost::makeNew(const QString& name,
                                                              PLRPersistantAccount* account)
{
    std::unique_ptr<PLRPersistantPost> post(new PLRPersistantPost(newIdentifier(), account));
    post->m_name = name;
    post->m_creationDate = nowToTheSecond();
    post->m_updatedDate = post->m_creationDate;
    post->setHasChanges(true);
    return post;
}

std::unique_ptr<PLRPersistantPost> PLRPersistantPost::loadFromBundle(const QString& bundlePath,
                                                                     PLRPersistantAccount* account,
                                                                     platform::Error* error,
                                                                     QString* nameRead)
{
    const QString folderIdentifier = QFileInfo(bundlePath).completeBaseName();
    // The error keeps the technical description for the log; its failure reason says it for
    // the user.
    const auto fail = [error](const platform::Error& cause, const QString& reason) {
        if (error)
            *error = platform::Error::make(cause.domain, cause.code, cause.localizedDescription(), reason);
        return nullptr;
    };
    const auto reasonOf = [](const platform::Error& cause) {
        const QString reason = cause.localizedFailureReason();
        return reason.isEmpty() ? cause.localizedDescription() : reason;
    };
    bool ok = false;
    platform::Error readError;
    const QVariantMap info = platform::plist::readDictionary(
        bundlePath + QLatin1Char('/') + QLatin1String(kPLRPostInfoFileName), &ok, &readError, kPLRPostMaxInfoBytes);
    if (!ok) {
        if (readError.domain == QLatin1String(platform::files::kErrorDomain) && readError.code == ENOENT)
            return fail(readError, QStringLiteral("It has no info.plist."));
        return fail(readError, QStringLiteral("Its info.plist cannot be read: %1").arg(reasonOf(readError)));
    }
    if (nameRead)
        *nameRead = stringValue(info.value(QLatin1String(kPLRPostKeyName)));
    QByteArray layoutBytes;
    if (!platform::files::readAll(bundlePath + QLatin1Char('/') + QLatin1String(kPLRPostLayoutFileName),
                                  &layoutBytes, &readError, kPLRPostMaxLayoutBytes)) {
        if (readError.code == EFBIG)
            return fail(readError, QStringLiteral("Its layout is larger than %1 MB, the most a post may hold.")
                                       .arg(kPLRPostMaxLayoutBytes / (1024 * 1024)));
        return fail(readError, QStringLiteral("Its layout cannot be read: %1").arg(reasonOf(readError)));
    }
    PLRLayout layout;
    if (!plr::parseFromData(&layout, layoutBytes, &readError))
        return fail(readError, QStringLiteral("Its layout is damaged."));
    if (const int bounded = plr::boundLayout(&layout))
        PLR_LOG_WARN(QStringLiteral("The layout of %1 held %2 values out of range; they were brought into range")
                         .arg(bundlePath).arg(bounded));

    QString identifier = stringValue(info.value(QLatin1String(kPLRPostKeyIdentifier)));
    if (identifier != folderIdentifier) {
        // The bundle's name is what the account finds it by; keep the two in step.
        PLR_LOG_WARN(QStringLiteral("Post bundle %1 names the identifier \"%2\"; using the bundle's name")
                         .arg(bundlePath, identifier));
        identifier = folderIdentifier;
    }
    std::unique_ptr<PLRPersistantPost> post(new PLRPersistantPost(identifier, account));
    const QString version = stringValue(info.value(QLatin1String(kPLRPostKeyVersion)));
    if (!version.isEmpty())
        post->setVersion(version);
    post->m_name = stringValue(info.value(QLatin1String(kPLRPostKeyName)));
    post->m_creationDate = dateValue(info.value(QLatin1String(kPLRPostKeyCreationDate)));
    post->m_updatedDate = dateValue(info.value(QLatin1String(kPLRPostKeyUpdatedDate)));
    if (!post->m_creationDate.isValid())
        post->m_creationDate = QFileInfo(bundlePath).birthTime().toUTC();
    if (!post->m_updatedDate.isValid())
        post->m_updatedDate = post->m_creationDate;
    post->m_remoteIdentifier = stringValue(info.value(QLatin1String(kPLRPostKeyRemoteIdentifier)));
    post->m_seoTitle = stringValue(info.value(QLatin1String(kPLRPostKeySeoTitle)));
    post->m_metaDescription = stringValue(info.value(QLatin1String(kPLRPostKeyMetaDescription)));
    for (const QVariant& keyword : info.value(QLatin1String(kPLRPostKeyFocusKeywords)).toList()) {
        if (keyword.typeId() == QMetaType::QString)
            post->m_focusKeywords.append(keyword.toString());
    }
    post->m_layout = std::move(layout);
    post->setStoredMetadata(info);
    post->m_onDisk = true;
    // What a save would write now for what was read: a layout or info written by another
    // encoder (field order, explicit defaults, keys of an older version) is the same content,
    // and saving it unchanged must not count as a change of the post.
    post->m_writtenLayout = plr::data(post->m_layout);
    post->m_writtenInfo = post->metadata();
    return post;
}

QString PLRPersistantPost::duplicatePostNameForName(const QString& name,
                                                    const PLRPersistantAccount* account, bool isImport)
{
    const QString word = isImport ? QStringLiteral("import") : QStringLiteral("copy");
    const auto taken = [account](const QString& candidate) {
        if (!account)
            return false;
        for (const PLRPersistantPost* post : account->currentPosts()) {
            if (post->name() == candidate)
                return true;
        }
        return false;
    };
    QString candidate = name + QLatin1Char(' ') + word;
    for (qint64 n = 1; taken(candidate); ++n)
        candidate = QStringLiteral("%1 %2 %3").arg(name, word).arg(n);
    return candidate;
}

void PLRPersistantPost::setName(const QString& name)
{
    if (name == m_name)
        return;
    m_name = name;
    emit nameChanged();
}

void PLRPersistantPost::setRemoteIdentifier(const QString& identifier)
{
    if (identifier == m_remoteIdentifier)
        return;
    m_remoteIdentifier = identifier;
    emit remoteIdentifierChanged();
}

void PLRPersistantPost::setSeoTitle(const QString& title)
{
    if (title == m_seoTitle)
        return;
    m_seoTitle = title;
    emit seoTitleChanged();
}

void PLRPersistantPost::setMetaDescription(const QString& description)
{
    if (description == m_metaDescription)
        return;
    m_metaDescription = description;
    emit metaDescriptionChanged();
}

void PLRPersistantPost::setFocusKeywords(const QStringList& keywords)
{
    if (keywords == m_focusKeywords)
        return;
    m_focusKeywords = keywords;
    emit focusKeywordsChanged();
}

PLRPostManager* PLRPersistantPost::owningPostManager() const
{
    return m_owningPostManager.data();
}

void PLRPersistantPost::setOwningPostManager(PLRPostManager* manager)
{
    m_owningPostManager = manager;
}

QImage PLRPersistantPost::layoutPreview() const
{
    if (!m_layoutPreview && !m_layoutPreviewJpeg.isEmpty()) {
        QImage image;
        if (!image.loadFromData(m_layoutPreviewJpeg, "JPEG"))
            PLR_LOG_WARN(QStringLiteral("The new preview of post %1 cannot be decoded").arg(identifier()));
        return image;
    }
    if (!m_layoutPreview) {
        QImage image;
        const QString path = bundlePath() + QLatin1Char('/') + QLatin1String(kPLRPostPreviewFileName);
        QByteArray bytes;
        if (QFileInfo::exists(path)
            && (!platform::files::readAll(path, &bytes, nullptr, qint64(64) * 1024 * 1024)
                || !image.loadFromData(bytes, "JPEG")))
            PLR_LOG_WARN(QStringLiteral("The preview of post %1 cannot be read").arg(identifier()));
        m_layoutPreview = image;
    }
    return *m_layoutPreview;
}

QByteArray PLRPersistantPost::refreshLayoutPreview()
{
    if (!previewProvider())
        return QByteArray();
    const QByteArray jpeg = previewProvider()(*this);
    if (!jpeg.isEmpty()) {
        m_layoutPreview.reset();
        m_layoutPreviewJpeg = jpeg;
        emit layoutPreviewChanged();
    } else if (!layoutHasBlocks(m_layout)) {
        // A post emptied of its blocks shows the empty-post picture again, not its old preview.
        setLayoutPreview(QImage());
    }
    return jpeg;
}

void PLRPersistantPost::setLayoutPreview(const QImage& image)
{
    m_layoutPreviewJpeg.clear();
    m_layoutPreview = image;
    emit layoutPreviewChanged();
}

bool PLRPersistantPost::checkIfPostMissingImagesBeforePublish()
{
    if (!missingImagesCheck())
        return true;
    const QStringList missing = missingImagesCheck()(*this);
    if (missing.isEmpty())
        return true;
    platform::Alert alert;
    alert.messageText = QStringLiteral("Photos Cannot Be Published");
    alert.informativeText =
        missing.size() == 1
        ? QStringLiteral("This photo of the post cannot be published:\n%1\n\n"
                         "Put a whole copy of it in the post's folder, or remove it from the layout, before publishing.")
              .arg(missing.first())
        : QStringLiteral("These photos of the post cannot be published:\n%1\n\n"
                         "Put whole copies of them in the post's folder, or remove them from the layout, before publishing.")
              .arg(missing.join(QLatin1Char('\n')));
    alert.buttons = {QStringLiteral("OK")};
    platform::runAlert(alert);
    return false;
}

QString PLRPersistantPost::bundlePath() const
{
    return m_account ? m_account->postBundlePathForIdentifier(identifier()) : QString();
}

QVariantMap PLRPersistantPost::ownMetadata() const
{
    QVariantList keywords;
    for (const QString& keyword : m_focusKeywords)
        keywords.append(keyword);
    QVariantMap own;
    own.insert(QLatin1String(kPLRPostKeyIdentifier), identifier());
    own.insert(QLatin1String(kPLRPostKeyVersion), version());
    own.insert(QLatin1String(kPLRPostKeyName), m_name);
    own.insert(QLatin1String(kPLRPostKeyCreationDate), m_creationDate.isValid() ? QVariant(m_creationDate) : QVariant());
    own.insert(QLatin1String(kPLRPostKeyUpdatedDate), m_updatedDate.isValid() ? QVariant(m_updatedDate) : QVariant());
    own.insert(QLatin1String(kPLRPostKeyRemoteIdentifier),
               m_remoteIdentifier.isEmpty() ? QVariant() : QVariant(m_remoteIdentifier));
    own.insert(QLatin1String(kPLRPostKeySeoTitle), m_seoTitle);
    own.insert(QLatin1String(kPLRPostKeyMetaDescription), m_metaDescription);
    own.insert(QLatin1String(kPLRPostKeyFocusKeywords), keywords);
    return own;
}

void PLRPersistantPost::forgetWhatIsOnDisk()
{
    m_onDisk = false;
    m_writtenLayout.clear();
    m_writtenInfo.clear();
    setHasChanges(true);
}

std::optional<PLRBundleWrite> PLRPersistantPost::prepareWrite(bool force)
{
    if (!m_account)
        return std::nullopt;
    m_account->setAsideWhatBarsTheWay(this);
    const QByteArray layoutBytes = plr::data(m_layout);
    QVariantMap info = metadata();
    const bool layoutChanged = !m_onDisk || layoutBytes != m_writtenLayout;
    const bool infoChanged = !m_onDisk || info != m_writtenInfo;
    if (!force && !hasChanges() && !layoutChanged && !infoChanged)
        return std::nullopt;

    if (layoutChanged || infoChanged || hasChanges()) {
        m_updatedDate = nowToTheSecond();
        info.insert(QLatin1String(kPLRPostKeyUpdatedDate), m_updatedDate);
    }

    PLRBundleWrite write;
    write.bundlePath = bundlePath();
    write.description = QStringLiteral("post %1").arg(identifier());
    write.origin = this;
    // A post's folder appears with its info.plist and layout, never without them.
    write.appearsWhole = true;
    if (layoutChanged || force || hasChanges())
        write.files.emplace_back(QString::fromLatin1(kPLRPostLayoutFileName), layoutBytes);
    // The preview shows the layout: a save of other fields (a new remote identifier, SEO text)
    // keeps the one on disk rather than decoding the photos again.
    if (previewProvider() && layoutChanged) {
        const QByteArray jpeg = refreshLayoutPreview();
        if (!jpeg.isEmpty())
            write.files.emplace_back(QString::fromLatin1(kPLRPostPreviewFileName), jpeg);
        else if (!layoutHasBlocks(m_layout))
            write.removedFiles.push_back(QString::fromLatin1(kPLRPostPreviewFileName));
    }
    write.plist = info;

    m_onDisk = true;
    m_writtenLayout = layoutBytes;
    m_writtenInfo = info;
    setStoredMetadata(info);
    setHasChanges(false);
    return write;
}

QSet<QString> imageReferencesOfLayout(const PLRLayout& layout)
{
    QSet<QString> references;
    for (const PLRSection& section : layout.sections())
        for (const PLRBlock& block : section.blocks())
            addImageReferences(block, &references);
    return references;
}
