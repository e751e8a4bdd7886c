#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class PLRPersistantPost;
class PLRUserSession;

// The hub of one open post. The user session owns it; it holds its post record (owned by
// the account) for as long as the post exists.
class PLRPostManager : public QObject {
    Q_OBJECT
public:
    // A manager of an existing post (null for a post still to be created).
    PLRPostManager(PLRPersistantPost* post, PLRUserSession* session);
    ~PLRPostManager() override;

    PLRPersistantPost* representedPost() const;
    PLRUserSession* userSession() const { return m_session; }

    // Creates the post with that name in the session's account and makes it this manager's
    // post; `location` is the post's source folder. False when the manager already has a
    // post or there is no account.
    bool createNewPostWithTitle(const QString& title, const QUrl& location);
    // The source folder given at creation.
    QUrl sourceLocation() const { return m_sourceLocation; }

    // Writes the post now (after the writes already queued). True when the save succeeded.
    bool save();

private:
    QPointer<PLRPersistantPost> m_post;
    PLRUserSession* m_session = nullptr;
    QUrl m_sourceLocation;
};
