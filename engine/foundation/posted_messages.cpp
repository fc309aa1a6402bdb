// The posted-message queue: any thread appends under a lock; the main
// thread takes the whole batch out under it and handles it unlocked, so a
// handler may post again without deadlock or an endless pass.
#include "foundation/posted_messages.h"
#include "platform/lasting_state.h"

#include <deque>
#include <mutex>

namespace morpotta {

namespace {

struct PostedQueue {
    std::mutex mutex;
    std::deque<PostedEngineMessage> messages;
};

PostedQueue& MessageQueue() {
    return platform::LastingState<PostedQueue>();
}

}  // namespace

int PostEngineMessage(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!window) return -1;
    PostedQueue& q = MessageQueue();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.messages.push_back({window, message, wParam, lParam});
    return 0;
}

int CountPostedEngineMessages() {
    PostedQueue& q = MessageQueue();
    std::lock_guard<std::mutex> lock(q.mutex);
    return int(q.messages.size());
}

int DrainPostedEngineMessages(PostedMessageHandler handler) {
    std::deque<PostedEngineMessage> batch;
    {
        PostedQueue& q = MessageQueue();
        std::lock_guard<std::mutex> lock(q.mutex);
        batch.swap(q.messages);
    }
    for (const PostedEngineMessage& m : batch) handler(m);
    return int(batch.size());
}

void ClearPostedEngineMessages() {
    PostedQueue& q = MessageQueue();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.messages.clear();
}

}  // namespace morpotta
