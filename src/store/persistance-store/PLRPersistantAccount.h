#pragma once

#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/PLRPersistantResource.h"
#include "store/persistance-store/PLRSkippedPostsNotice.h"

#include <QList>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

inline constexpr const char* kPLRAccountBundleExtension = "plruser";
inline constexpr const char* kPLRAccountInfoFileName = "info.plist";
inline constexpr const char* kPLRAccountPostsFolderName = "posts";

inline constexpr const char* kPLRAccountKeyVersion = "version";
inline constexpr const char* kPLRAccountKeyUserIdentifier = "userIdentifier";
inline constexpr const char* kPLRAccountKeyEmail = "email";
inline constexpr const char* kPLRAccountKeyFirstName = "firstName";
inline constexpr const char* kPLRAccountKeyLastName = "lastName";

// Account bundles of this version are named by the e-mail address; later ones by the user
// identifier.
inline constexpr const char* kPLRAccountVersionByEmail = "1.0.0";
inline constexpr const char* kPLRAccountCurrentVersion = "1.0.1";

// One account bundle ("ds/<name>.plruser") with its info.plist and its folder of posts.
// The account owns its post records.
class PLRPersistantAccount : public PLRPersistantResource {
    Q_OBJECT
    Q_PROPERTY(QList<PLRPersistantPost*> currentPosts READ currentPosts NOTIFY currentPostsChanged)
    Q_PROPERTY(QString firstName READ firstName WRITE setFirstName NOTIFY firstNameChanged)
    Q_PROPERTY(QString lastName READ lastName WRITE setLastName NOTIFY lastNameChanged)
public:
    // The account of the user: the bundle of the user identifier, else an e-mail-named bundle
    // of version "1.0.0", else a new account (written at the next save). Posts are loaded.
    static std::unique_ptr<PLRPersistantAccount> openAccount(const QString& userIdentifier,
                                                             const QString& email);

    ~PLRPersistantAccount() override;

    QString userIdentifier() const { return m_userIdentifier; }
    QString email() const { return m_email; }
    void setEmail(const QString& email);
    QString firstName() const { return m_firstName; }
    void setFirstName(const QString& name);
    QString lastName() const { return m_lastName; }
    void setLastName(const QString& name);

    QList<PLRPersistantPost*> currentPosts() const;
    PLRPersistantPost* postForIdentifier(const QString& identifier) const;

    // The bundle folder of the post with that identifier ("posts/<identifier>.plrpost").
    QUrl urlForPostBundleWithIdentifier(const QString& identifier) const;
    QString postBundlePathForIdentifier(const QString& identifier) const;
    QString postsFolderPath() const;

    // Scans the "posts" folder and adds the bundles not loaded yet. A bundle whose info.plist
    // or layout cannot be read (or is too large), or that is a link or not a folder, is skipped
    // with a log line and left on disk untouched, and the user is told once a run
    // (PLRSkippedPostsNotice). A "posts" folder that is a link (or no folder) is never
    // followed: it is moved aside, as the account folder would be.
    // Announces "currentPosts" when posts were added. Returns how many were added.
    int loadInPostsIfNeeded();

    // Takes a new post into the account (announces "currentPosts").
    PLRPersistantPost* addPost(std::unique_ptr<PLRPersistantPost> post);
    // Removes the post from the account and hands it back (announces "currentPosts").
    std::unique_ptr<PLRPersistantPost> takePost(PLRPersistantPost* post);

    QString bundlePath() const override { return m_bundlePath; }
    std::optional<PLRBundleWrite> prepareWrite(bool force = false) override;

    // Before a save (main thread): a link, or anything else that is no folder, that has come
    // since the account was opened in the place of the folder of every account, the account's
    // folder, its posts folder or `post`'s folder (when given) is moved aside, never followed,
    // and what had been written there is written anew, whole, at the save.
    void setAsideWhatBarsTheWay(PLRPersistantPost* post);

signals:
    void currentPostsChanged();
    void firstNameChanged();
    void lastNameChanged();

protected:
    QVariantMap ownMetadata() const override;

private:
    // True when "posts" is a folder; anything else in its place is moved aside and noted.
    bool postsFolderIsUsable(QList<PLRSkippedPost>* skipped) const;
    // Removes what saves killed half-way left in the account: temporary files beside its own
    // files and unfinished post copies and first saves ("*.plrpost.partial"); and the staging
    // folders of imports that never finished, with the pictures they had moved into the store.
    void removeLeftoversOfKilledSaves() const;

    PLRPersistantAccount(QString userIdentifier, QString email, QString bundlePath, QString version);

    QString m_userIdentifier;
    QString m_email;
    QString m_firstName;
    QString m_lastName;
    QString m_bundlePath;
    std::vector<std::unique_ptr<PLRPersistantPost>> m_posts;
    // What opening the account set aside, told with the posts that the first load skips.
    QList<PLRSkippedPost> m_setAside;
    QVariantMap m_writtenInfo;
    bool m_onDisk = false;
};
