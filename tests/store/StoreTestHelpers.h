#pragma once

#include "store/model/PLRLayoutDocument.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Log.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <memory>
#include <mutex>

namespace store_test {

inline constexpr const char* kUserId = "u-1001";
inline constexpr const char* kEmail = "ann@example.com";

// Signs in through the keychain path the service client uses.
inline PLRUserSession* signIn(const QString& userId = QString::fromLatin1(kUserId),
                              const QString& email = QString::fromLatin1(kEmail))
{
    PLRCoreManager::completeSignIn(email, QStringLiteral("secret"), userId, QStringLiteral("token-1"));
    return PLRCoreManager::userSession();
}

// A layout with `blocks` image blocks in one stacked section, plus one of every other kind.
inline PLRLayout sampleLayout(int blocks = 3)
{
    PLRLayout layout;
    layout.set_padding(12);
    layout.mutable_background_colour()->set_r(250);
    PLRSection* section = layout.add_sections();
    section->mutable_stacked();
    for (int i = 0; i < blocks; ++i) {
        PLRBlock* block = section->add_blocks();
        block->set_id(QStringLiteral("img-%1").arg(i).toStdString());
        block->set_aspect_ratio(1.5f);
        block->mutable_image()->set_img_ref(QStringLiteral("IMG_%1").arg(i).toStdString());
    }
    PLRBlock* text = section->add_blocks();
    text->set_id("text");
    text->mutable_text()->set_value("Hello");
    PLRBlock* container = section->add_blocks();
    container->set_id("box");
    container->mutable_container()->set_vert(true);
    container->mutable_container()->add_sub_blocks()->mutable_blank();
    return layout;
}

// Creates a post through a new post manager and gives it a layout.
inline PLRPersistantPost* createPost(PLRUserSession* session, const QString& name, int blocks = 3)
{
    PLRPostManager* manager = session->newPostManager();
    manager->createNewPostWithTitle(name, QUrl::fromLocalFile(QStringLiteral("/photos")));
    manager->representedPost()->setLayout(sampleLayout(blocks));
    return manager->representedPost();
}

// Saves through the core manager and waits for the completion (at most `timeoutMs`).
bool saveAndWait(int timeoutMs = 5000);

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Collects log lines while alive.
class LogCapture {
public:
    LogCapture()
    {
        m_id = platform::log::addCapture([this](platform::log::Level, const QString& message) {
            std::lock_guard lock(m_mutex);
            m_lines.append(message);
        });
    }
    ~LogCapture() { platform::log::removeCapture(m_id); }
    bool contains(const QString& text) const
    {
        std::lock_guard lock(m_mutex);
        for (const QString& line : m_lines)
            if (line.contains(text))
                return true;
        return false;
    }
private:
    int m_id = 0;
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

} // namespace store_test
