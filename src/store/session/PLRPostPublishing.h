#pragma once

#include <functional>

// What the session asks of a post's publisher (the publishing library's component of the
// post manager), without knowing its type.
class PLRPostPublishing {
public:
    using IdleBlock = std::function<void(PLRPostPublishing& publisher)>;
    using DeleteCompletion = std::function<void(bool success)>;

    virtual ~PLRPostPublishing() = default;

    // Runs the block as soon as no publish, fetch or clean-up is running (now, when none is).
    virtual void addIdleCompletionBlock(IdleBlock block) = 0;
    // Deletes the remote post; the completion runs on the main thread with whether the service
    // no longer has it. False (and the completion never runs) when nothing could be sent: no
    // session token, or no remote post.
    virtual bool deletePublishedPost(DeleteCompletion completion) = 0;
};
