// TWaveOutThread: the worker that belongs to one opening of the wave device.
// It receives the device's notices and has the main thread refill blocks;
// it never reads archive data and never calls the device.
//
// WaveOpening is what an opening shares between the player (main thread),
// the device and the worker: its number, the notice queue the device posts
// to, the blocks' cancel marks and two flags. The worker holds it by shared
// pointer, so the cancel marks stay readable after the player has closed the
// device and freed the blocks, and everything the worker asks of the main
// thread names the opening's number: the player ignores requests of an
// opening that is no longer its current one. An old worker thus never
// touches a newer opening of the device.
//
// WaveOutWorker is the message handling without a thread:
//  - done notice: when all data was handed over at the last fill, or the
//    returned block's cancel mark is set, send the end notice and stop;
//    otherwise have the main thread run FillBuffer (synchronised) and go on.
//  - close notice: have the main thread run CheckEnd (synchronised) and stop.
//  - anything else: ignored.
// A synchronised call that the main thread refuses (its queue is shut down:
// the application is ending) stops the worker too. Finish() removes the
// notices still queued and clears the opening's worker-active flag.
//
// TWaveOutThread runs a WaveOutWorker on a free-on-terminate TThread. The
// player's pumped mode runs WaveOutWorkers on the main thread instead (see
// WaveDataControl.h). Either way the worker reports its end to a
// WaveWorkerCount, which the player waits on when it is destroyed.
#pragma once

#include "platform/TThread.h"
#include "platform/ThreadMessageQueue.h"
#include "platform/WaveDevice.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

struct WaveOpening {
    explicit WaveOpening(uint64_t openingNumber) : number(openingNumber) {}

    const uint64_t number;
    ThreadMessageQueue notices;
    std::array<std::atomic<bool>, WaveMaximumBlocks> cancelMarks{};
    // The read position had reached the data length at the last fill.
    std::atomic<bool> allHandedOver{false};
    std::atomic<bool> workerActive{false};
};

// What a worker asks of its player. FillBufferFor and CheckEndFor run on
// the main thread; SendEndNotice on the worker's thread.
class WaveWorkerHost {
public:
    virtual ~WaveWorkerHost() = default;
    virtual void FillBufferFor(uint64_t opening) = 0;
    virtual void CheckEndFor(uint64_t opening) = 0;
    virtual void SendEndNotice(uint64_t opening) = 0;
};

// Counts the workers that have not ended yet.
class WaveWorkerCount {
public:
    void Started();
    void Ended();
    int Live() const;
    // Waits up to timeout for the count to reach 0.
    bool WaitForNone(std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int live_ = 0;
};

class WaveOutWorker {
public:
    using Synchronizer = std::function<bool(std::function<void()>)>;

    WaveOutWorker(std::shared_ptr<WaveOpening> opening, WaveWorkerHost& host);

    // False: leave the message loop.
    bool Handle(const ThreadMessage& message, const Synchronizer& synchronize);
    void Finish();

    WaveOpening& Opening() const { return *opening_; }

private:
    std::shared_ptr<WaveOpening> opening_;
    WaveWorkerHost& host_;
};

class TWaveOutThread : public TThread {
public:
    // Created suspended and free-on-terminate; the player resumes it once the
    // device is ready, or terminates it (which frees it unstarted) when
    // opening the device fails. The count is told when the thread has ended.
    TWaveOutThread(MainThreadCalls& calls, std::shared_ptr<WaveOpening> opening, WaveWorkerHost& host,
                   std::shared_ptr<WaveWorkerCount> count);

protected:
    void Execute() override;

private:
    WaveOutWorker worker_;
    std::shared_ptr<WaveWorkerCount> count_;
};
