#include "session/PLRPostManager.h"

#include "persistance-store/PLRPersistantAccount.h"
#include "persistance-store/PLRPersistantPost.h"
#include "platform/Log.h"
#include "session/PLRUserSession.h"

PLRPostManager::PLRPostManager(PLRPersistantPost* post, PLRUserSession* session)
    : m_post(post), m_session(session)
{
    if (post)
        post->setOwningPostManager(this);
}

PLRPostManager::~PLRPostManager()
{
    if (m_post && m_post->owningPostManager() == this)
        m_post->setOwningPostManager(nullptr);
}

PLRPersistantPost* PLRPostManager::representedPost() const
{
    return m_post.data();
}

bool PLRPostManager::createNewPostWithTitle(const QString& title, const QUrl& location)
{
    if (m_post) {
        PLR_LOG_WARN(QStringLiteral("The post manager of %1 already has a post").arg(m_post->identifier()));
        return false;
    }
    PLRPersistantAccount* account = m_session ? m_session->account() : nullptr;
    if (!account) {
        PLR_LOG_ERROR(QStringLiteral("A new post needs a signed-in account"));
        return false;
    }
    PLRPersistantPost* post = account->addPost(PLRPersistantPost::makeNew(title, account));
    m_post = post;
    post->setOwningPostManager(this);
    m_sourceLocation = location;
    return true;
}

bool PLRPostManager::save()
{
    if (!m_post)
        return false;
    return m_post->save();
}
