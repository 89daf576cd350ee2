#include "platform/ThreadMessageQueue.h"

#include <algorithm>

ThreadMessageQueue::~ThreadMessageQueue()
{
    const std::lock_guard lock(mutex_);
}

bool ThreadMessageQueue::Post(const ThreadMessage& message)
{
    // Notified under the lock: once a poster (a device's callback among
    // them) has let go of the lock it touches the queue no more, so the
    // owner may destroy the queue as soon as it can take the lock itself.
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    messages_.push_back(message);
    posted_.notify_all();
    return true;
}

std::optional<ThreadMessage> ThreadMessageQueue::Peek() const
{
    std::lock_guard lock(mutex_);
    if (messages_.empty()) return std::nullopt;
    return messages_.front();
}

std::optional<ThreadMessage> ThreadMessageQueue::TryGet()
{
    std::lock_guard lock(mutex_);
    if (messages_.empty()) return std::nullopt;
    const ThreadMessage message = messages_.front();
    messages_.pop_front();
    return message;
}

std::optional<ThreadMessage> ThreadMessageQueue::Get(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, timeout, [&] { return !messages_.empty() || closed_; });
    if (messages_.empty()) return std::nullopt;
    const ThreadMessage message = messages_.front();
    messages_.pop_front();
    return message;
}

size_t ThreadMessageQueue::Remove(uint32_t first, uint32_t last)
{
    std::lock_guard lock(mutex_);
    const auto end = std::remove_if(messages_.begin(), messages_.end(), [&](const ThreadMessage& message) {
        return message.message >= first && message.message <= last;
    });
    const size_t removed = static_cast<size_t>(messages_.end() - end);
    messages_.erase(end, messages_.end());
    return removed;
}

void ThreadMessageQueue::Close()
{
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    posted_.notify_all();
}

bool ThreadMessageQueue::Closed() const
{
    std::lock_guard lock(mutex_);
    return closed_;
}

size_t ThreadMessageQueue::Size() const
{
    std::lock_guard lock(mutex_);
    return messages_.size();
}
