#include "sound/WaveOutThread.h"

#include <utility>

void WaveWorkerCount::Started()
{
    std::lock_guard lock(mutex_);
    ++live_;
}

void WaveWorkerCount::Ended()
{
    {
        std::lock_guard lock(mutex_);
        --live_;
    }
    changed_.notify_all();
}

int WaveWorkerCount::Live() const
{
    std::lock_guard lock(mutex_);
    return live_;
}

bool WaveWorkerCount::WaitForNone(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return live_ == 0; });
}

WaveOutWorker::WaveOutWorker(std::shared_ptr<WaveOpening> opening, WaveWorkerHost& host)
    : opening_(std::move(opening)), host_(host)
{
}

bool WaveOutWorker::Handle(const ThreadMessage& message, const Synchronizer& synchronize)
{
    WaveOpening& opening = *opening_;
    const uint64_t number = opening.number;
    switch (message.message) {
    case WaveNoticeDone: {
        const uintptr_t block = message.second;
        const bool cancelled = block < WaveMaximumBlocks && opening.cancelMarks[block].load();
        if (opening.allHandedOver.load() || cancelled) {
            host_.SendEndNotice(number);
            return false;
        }
        WaveWorkerHost& host = host_;
        return synchronize([&host, number] { host.FillBufferFor(number); });
    }
    case WaveNoticeClose: {
        WaveWorkerHost& host = host_;
        synchronize([&host, number] { host.CheckEndFor(number); });
        return false;
    }
    default:
        return true;
    }
}

void WaveOutWorker::Finish()
{
    opening_->notices.Remove(WaveNoticeOpen, WaveNoticeDone);
    opening_->workerActive = false;
}

TWaveOutThread::TWaveOutThread(MainThreadCalls& calls, std::shared_ptr<WaveOpening> opening, WaveWorkerHost& host,
                               std::shared_ptr<WaveWorkerCount> count)
    : TThread(calls), worker_(std::move(opening), host), count_(std::move(count))
{
    SetFreeOnTerminate(true);
}

void TWaveOutThread::Execute()
{
    // The notice queue exists from the opening's creation on, before the
    // device can post to it, so there is no queue to bring into being here.
    const WaveOutWorker::Synchronizer synchronize = [this](std::function<void()> call) { return Synchronize(std::move(call)); };
    ThreadMessageQueue& notices = worker_.Opening().notices;
    while (!Terminated()) {
        // A bounded wait, so that a termination request is seen without a
        // notice to wake the loop.
        const std::optional<ThreadMessage> message = notices.Get(std::chrono::milliseconds(50));
        if (!message) {
            if (notices.Closed()) break;
            continue;
        }
        if (!worker_.Handle(*message, synchronize)) break;
    }
    worker_.Finish();
    count_->Ended();
}
