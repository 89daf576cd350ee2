// A worker's message queue: messages come out in order across threads, a
// wait ends on a message, a timeout or closing, closing keeps what is queued
// but refuses more, and a range of messages can be cleared out.

#include "platform/ThreadMessageQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

TEST(ThreadMessageQueueTest, MessagesFromAnotherThreadArriveInOrder)
{
    ThreadMessageQueue queue;
    constexpr uint32_t Count = 1000;
    std::thread poster([&] {
        for (uint32_t i = 0; i < Count; ++i) queue.Post({i, i * 2, i * 3});
    });
    for (uint32_t i = 0; i < Count; ++i) {
        const auto message = queue.Get(10s);
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(*message, (ThreadMessage{i, i * 2, i * 3}));
    }
    poster.join();
    EXPECT_FALSE(queue.TryGet().has_value());
}

TEST(ThreadMessageQueueTest, AWaitEndsOnTimeoutOrClose)
{
    ThreadMessageQueue queue;
    EXPECT_FALSE(queue.Get(5ms).has_value());

    std::thread closer([&] {
        std::this_thread::sleep_for(10ms);
        queue.Close();
    });
    EXPECT_FALSE(queue.Get(10s).has_value());
    closer.join();
}

TEST(ThreadMessageQueueTest, ClosingKeepsQueuedMessagesAndRefusesNewOnes)
{
    ThreadMessageQueue queue;
    EXPECT_TRUE(queue.Post({1}));
    queue.Close();
    EXPECT_TRUE(queue.Closed());
    EXPECT_FALSE(queue.Post({2}));
    EXPECT_EQ(queue.Peek(), (ThreadMessage{1}));
    EXPECT_EQ(queue.Get(10s), (ThreadMessage{1}));
    EXPECT_FALSE(queue.Get(10s).has_value());
}

TEST(ThreadMessageQueueTest, RemoveClearsOnlyTheGivenRange)
{
    ThreadMessageQueue queue;
    for (uint32_t message : {5u, 10u, 11u, 12u, 13u, 7u}) queue.Post({message});
    EXPECT_EQ(queue.Remove(10, 12), 3u);
    std::vector<uint32_t> left;
    while (auto message = queue.TryGet()) left.push_back(message->message);
    EXPECT_EQ(left, (std::vector<uint32_t>{5, 13, 7}));
    EXPECT_EQ(queue.Size(), 0u);
}

}  // namespace
