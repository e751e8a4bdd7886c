#pragma once

#include "platform-ui/Controls.h"
#include "platform-ui/PLRViewController.h"

#include <QPointer>

#include <functional>

// The first-launch welcome, shown once in place of home: a greeting by name and one button that
// starts the user's first post.
class PLRFirstTimeWelcomeViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRFirstTimeWelcomeViewController(QObject* parent = nullptr);
    ~PLRFirstTimeWelcomeViewController() override;

    static QString defaultGreeting() { return QStringLiteral("Welcome to Pellora Publish"); }

    std::function<void()> firstTimeWelcomeCompletionBlock() const { return m_completion; }
    void setFirstTimeWelcomeCompletionBlock(std::function<void()> block) { m_completion = std::move(block); }

    // The button: a new post first, then the completion block.
    void createNewPost(QObject* sender);
    // The account's posts changed (a post file was imported): once it has a post, the welcome
    // has done its work and home, which shows the post, takes its place.
    void postsWereUpdated();

    platform::ui::TextField* welcomeTextField() const { return m_welcomeTextField; }
    platform::ui::Button* createPostButton() const { return m_createPostButton; }

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;

private:
    QPointer<platform::ui::TextField> m_welcomeTextField;
    QPointer<platform::ui::Button> m_createPostButton;
    std::function<void()> m_completion;
    QObject m_observer;
};
