// ThreadMessageQueue: the message queue of one worker thread, the stand-in
// for a thread's own message queue. Devices post their notices to it from
// any thread (a device driver's callback included: posting only takes a
// short lock and never calls back); the worker waits for them and takes them
// in order.
//
// Close() ends it: queued messages stay readable, later posts are dropped,
// and a wait on an empty closed queue returns at once with nothing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

struct ThreadMessage {
    uint32_t message = 0;
    uintptr_t first = 0;   // the message's first parameter
    uintptr_t second = 0;  // the message's second parameter

    bool operator==(const ThreadMessage&) const = default;
};

class ThreadMessageQueue {
public:
    ThreadMessageQueue() = default;
    // Waits for a Post that is under way on another thread (a device's
    // callback) before the queue goes.
    ~ThreadMessageQueue();
    ThreadMessageQueue(const ThreadMessageQueue&) = delete;
    ThreadMessageQueue& operator=(const ThreadMessageQueue&) = delete;

    // False when the queue is closed (the message is dropped).
    bool Post(const ThreadMessage& message);
    // The oldest message, if any, without waiting.
    std::optional<ThreadMessage> Peek() const;
    std::optional<ThreadMessage> TryGet();
    // Waits up to timeout for a message. Nothing when the time ran out or the
    // queue is closed and empty.
    std::optional<ThreadMessage> Get(std::chrono::milliseconds timeout);
    // Removes the queued messages numbered first to last (inclusive) and
    // returns how many went.
    size_t Remove(uint32_t first, uint32_t last);
    void Close();
    bool Closed() const;
    size_t Size() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<ThreadMessage> messages_;
    bool closed_ = false;
};
