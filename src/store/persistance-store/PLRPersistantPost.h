#pragma once

#include "store/model/PLRLayoutDocument.h"
#include "store/persistance-store/PLRPersistantResource.h"

#include <QDateTime>
#include <QImage>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class PLRPersistantAccount;
class PLRPostManager;

// File and key names of a post bundle ("<identifier>.plrpost").
inline constexpr const char* kPLRPostBundleExtension = "plrpost";
inline constexpr const char* kPLRPostInfoFileName = "info.plist";
inline constexpr const char* kPLRPostLayoutFileName = "layout";
inline constexpr const char* kPLRPostLocationFileName = "location.plist";
inline constexpr const char* kPLRPostPreviewFileName = "preview.jpg";

inline constexpr const char* kPLRPostKeyIdentifier = "identifier";
inline constexpr const char* kPLRPostKeyName = "name";
inline constexpr const char* kPLRPostKeyVersion = "version";
inline constexpr const char* kPLRPostKeyCreationDate = "creationDate";
inline constexpr const char* kPLRPostKeyUpdatedDate = "updatedDate";
inline constexpr const char* kPLRPostKeyRemoteIdentifier = "remoteIdentifier";
inline constexpr const char* kPLRPostKeySeoTitle = "seoTitle";
inline constexpr const char* kPLRPostKeyMetaDescription = "metaDescription";
inline constexpr const char* kPLRPostKeyFocusKeywords = "focusKeywords";

inline constexpr const char* kPLRPostCurrentVersion = "1.0.0";

// The most a post's layout, info.plist and location.plist may hold, in the store and in post
// files alike.
inline constexpr qint64 kPLRPostMaxLayoutBytes = qint64(8) * 1024 * 1024;
inline constexpr qint64 kPLRPostMaxInfoBytes = qint64(4) * 1024 * 1024;
// location.plist holds a record for every photo of the post's folder, so its bound is set by
// the largest folder a post may have, not by the post: as dictionaries a record takes some 350
// bytes besides its names (some 500 in nested folders of 60-character names), past this bound
// the records are written compactly (PLRSourceDirectory::locationFileBytes: some 150 bytes in
// such folders), so 200,000 photos take some 28 MB. No location.plist larger than this is read
// or written.
inline constexpr qint64 kPLRPostMaxLocationBytes = qint64(64) * 1024 * 1024;

// The images a layout's blocks place (in containers at any depth), by identifier.
QSet<QString> imageReferencesOfLayout(const PLRLayout& layout);

// One post bundle on disk: metadata, the layout document, SEO fields and the preview.
class PLRPersistantPost : public PLRPersistantResource {
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QString seoTitle READ seoTitle WRITE setSeoTitle NOTIFY seoTitleChanged)
    Q_PROPERTY(QString metaDescription READ metaDescription WRITE setMetaDescription NOTIFY metaDescriptionChanged)
    Q_PROPERTY(QStringList focusKeywords READ focusKeywords WRITE setFocusKeywords NOTIFY focusKeywordsChanged)
    Q_PROPERTY(QImage layoutPreview READ layoutPreview NOTIFY layoutPreviewChanged)
    Q_PROPERTY(QString remoteIdentifier READ remoteIdentifier WRITE setRemoteIdentifier NOTIFY remoteIdentifierChanged)
public:
    // Renders the post's preview as JPEG bytes (empty: no preview). Registered by the export
    // engine; asked on the main thread when a changed post is saved.
    using PreviewProvider = std::function<QByteArray(PLRPersistantPost& post)>;
    // The photos that the post's layout uses and that cannot be published (gone from the
    // folder, cut short, not readable), each as "file name: reason". Registered by the
    // source-folder layer.
    using MissingImagesCheck = std::function<QStringList(const PLRPersistantPost& post)>;

    static void setPreviewProvider(PreviewProvider provider);
    static void setMissingImagesCheck(MissingImagesCheck check);

    // A new post (not yet on disk) of the account, with a fresh identifier and an empty layout.
    static std::unique_ptr<PLRPersistantPost> makeNew(const QString& name, PLRPersistantAccount* account);
    // Reads the bundle; null (with `error`, nothing on disk touched) when its info.plist or
    // layout file is missing, unreadable or larger than its bound. The error's failure reason
    // says why in words for the user; `nameRead` gets the post's name when its info.plist
    // could be read.
    static std::unique_ptr<PLRPersistantPost> loadFromBundle(const QString& bundlePath,
                                                             PLRPersistantAccount* account,
                                                             platform::Error* error = nullptr,
                                                             QString* nameRead = nullptr);

    // "<name> import" / "<name> copy", then "<name> <word> 1", 2, ... until no post of the
    // account's currentPosts has that exact name.
    static QString duplicatePostNameForName(const QString& name, const PLRPersistantAccount* account,
                                            bool isImport);

    ~PLRPersistantPost() override;

    QString name() const { return m_name; }
    void setName(const QString& name);
    QDateTime creationDate() const { return m_creationDate; }
    QDateTime updatedDate() const { return m_updatedDate; }
    QString remoteIdentifier() const { return m_remoteIdentifier; }
    void setRemoteIdentifier(const QString& identifier);
    QString seoTitle() const { return m_seoTitle; }
    void setSeoTitle(const QString& title);
    QString metaDescription() const { return m_metaDescription; }
    void setMetaDescription(const QString& description);
    QStringList focusKeywords() const { return m_focusKeywords; }
    void setFocusKeywords(const QStringList& keywords);

    // Kept in memory only.
    QString categoryType() const { return m_categoryType; }
    void setCategoryType(const QString& type) { m_categoryType = type; }
    bool publishAsDraft() const { return m_publishAsDraft; }
    void setPublishAsDraft(bool draft) { m_publishAsDraft = draft; }

    PLRPersistantAccount* account() const { return m_account; }
    PLRPostManager* owningPostManager() const;
    void setOwningPostManager(PLRPostManager* manager);

    // The layout document, edited in place by the layout manager.
    PLRLayout& layout() { return m_layout; }
    const PLRLayout& layout() const { return m_layout; }
    void setLayout(const PLRLayout& layout) { m_layout = layout; }

    // The preview image (loaded from preview.jpg on first use), or a null image.
    QImage layoutPreview() const;
    void setLayoutPreview(const QImage& image);
    // Renders the preview again from the layout as it is now (the home tile shows it at once;
    // preview.jpg follows at the next save). Answers the JPEG bytes, empty when none.
    QByteArray refreshLayoutPreview();

    void refreshSourceLocations() {}

    // Shows an alert naming the photos of the layout that cannot be published, each with its
    // reason; true when publishing may go on.
    bool checkIfPostMissingImagesBeforePublish();
    // No limit on the width of a layout's images.
    static constexpr qint64 minMaxImageWidthForLayout() { return 99999999999999LL; }

    QString bundlePath() const override;
    std::optional<PLRBundleWrite> prepareWrite(bool force = false) override;
    bool isOnDisk() const { return m_onDisk; }

signals:
    void nameChanged();
    void seoTitleChanged();
    void metaDescriptionChanged();
    void focusKeywordsChanged();
    void layoutPreviewChanged();
    void remoteIdentifierChanged();

protected:
    QVariantMap ownMetadata() const override;

private:
    friend class PLRPersistantAccount;   // detaches a post taken out of the account
    PLRPersistantPost(QString identifier, PLRPersistantAccount* account);
    // The bundle on disk went aside: the next save writes the whole post.
    void forgetWhatIsOnDisk();

    QString m_name;
    QDateTime m_creationDate;
    QDateTime m_updatedDate;
    QString m_remoteIdentifier;
    QString m_seoTitle;
    QString m_metaDescription;
    QStringList m_focusKeywords;
    QString m_categoryType;
    bool m_publishAsDraft = false;
    PLRPersistantAccount* m_account = nullptr;
    QPointer<PLRPostManager> m_owningPostManager;
    PLRLayout m_layout;

    mutable std::optional<QImage> m_layoutPreview;   // not loaded yet while empty
    // The preview rendered in this run, kept as its JPEG (a small part of the decoded picture's
    // size) and decoded when asked for.
    QByteArray m_layoutPreviewJpeg;
    // What the bundle on disk holds, to write only what changed.
    bool m_onDisk = false;
    QByteArray m_writtenLayout;
    QVariantMap m_writtenInfo;
};
