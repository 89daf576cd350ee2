#include "platform/TThread.h"

TThread::TThread(MainThreadCalls& calls) : calls_(calls) {}

TThread::~TThread()
{
    terminated_.store(true, std::memory_order_release);
    std::lock_guard join(joinMutex_);
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();  // a free-on-terminate thread deleting itself
    else
        thread_.join();
}

void TThread::Resume()
{
    std::lock_guard lock(mutex_);
    if (started_) return;
    started_ = true;
    // Taken here so that the new thread's detach (free-on-terminate) cannot
    // race with the assignment below.
    std::lock_guard join(joinMutex_);
    thread_ = std::thread([this] { Run(); });
}

void TThread::Run()
{
    if (!Terminated()) Execute();
    bool freeSelf;
    {
        std::lock_guard lock(mutex_);
        freeSelf = freeOnTerminate_;
    }
    if (!freeSelf) return;
    {
        std::lock_guard join(joinMutex_);
        thread_.detach();
    }
    delete this;
}

void TThread::Terminate()
{
    terminated_.store(true, std::memory_order_release);
    bool deleteNow;
    {
        std::lock_guard lock(mutex_);
        deleteNow = freeOnTerminate_ && !started_;
    }
    if (deleteNow) delete this;
}

void TThread::SetFreeOnTerminate(bool freeOnTerminate)
{
    std::lock_guard lock(mutex_);
    freeOnTerminate_ = freeOnTerminate;
}

void TThread::WaitFor()
{
    std::lock_guard join(joinMutex_);
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool TThread::Synchronize(std::function<void()> call)
{
    return calls_.Synchronize(std::move(call));
}
