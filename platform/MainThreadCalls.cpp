#include "platform/MainThreadCalls.h"

#include <exception>
#include <utility>

struct MainThreadCalls::Pending {
    std::function<void()> call;
    bool waited = false;  // a Synchronize is blocked on it
    bool done = false;
    bool dropped = false;
    std::exception_ptr failure;
};

MainThreadCalls::MainThreadCalls() : mainThread_(std::this_thread::get_id()) {}

MainThreadCalls::~MainThreadCalls()
{
    Shutdown();
}

bool MainThreadCalls::Enqueue(std::shared_ptr<Pending> pending)
{
    std::function<void()> hook;
    {
        std::lock_guard lock(mutex_);
        if (shutDown_) return false;
        queue_.push_back(std::move(pending));
        hook = wakeHook_;
    }
    queued_.notify_all();
    if (hook) hook();
    return true;
}

bool MainThreadCalls::Synchronize(std::function<void()> call)
{
    if (IsMainThread()) {
        if (IsShutDown()) return false;
        call();
        return true;
    }
    auto pending = std::make_shared<Pending>();
    pending->call = std::move(call);
    pending->waited = true;
    if (!Enqueue(pending)) return false;

    std::exception_ptr failure;
    {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return pending->done || pending->dropped; });
        if (pending->dropped) return false;
        // Taken out, so the exception lives and dies in this thread only.
        failure = std::move(pending->failure);
    }
    if (failure) std::rethrow_exception(failure);
    return true;
}

void MainThreadCalls::Post(std::function<void()> call)
{
    auto pending = std::make_shared<Pending>();
    pending->call = std::move(call);
    Enqueue(std::move(pending));
}

int MainThreadCalls::RunPending()
{
    size_t round;
    {
        std::lock_guard lock(mutex_);
        round = queue_.size();
    }
    int count = 0;
    for (; round > 0; --round) {
        std::shared_ptr<Pending> pending;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) break;  // Shutdown emptied it
            pending = std::move(queue_.front());
            queue_.pop_front();
        }
        ++count;
        if (!pending->waited) {
            pending->call();
            continue;
        }
        std::exception_ptr failure;
        try {
            pending->call();
        } catch (...) {
            failure = std::current_exception();
        }
        // The call's captures go before its waiter returns.
        pending->call = nullptr;
        {
            std::lock_guard lock(mutex_);
            pending->failure = std::move(failure);
            pending->done = true;
        }
        finished_.notify_all();
    }
    return count;
}

int MainThreadCalls::WaitAndRunPending(std::chrono::milliseconds timeout)
{
    {
        std::unique_lock lock(mutex_);
        if (!queued_.wait_for(lock, timeout, [&] { return !queue_.empty() || shutDown_; })) return 0;
    }
    return RunPending();
}

void MainThreadCalls::Shutdown()
{
    std::deque<std::shared_ptr<Pending>> dropped;
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
        dropped.swap(queue_);
        for (const auto& pending : dropped) pending->dropped = true;
    }
    finished_.notify_all();
    queued_.notify_all();
    // The calls (and what they captured) die here, outside the lock.
    for (auto& pending : dropped) pending->call = nullptr;
}

bool MainThreadCalls::IsShutDown() const
{
    std::lock_guard lock(mutex_);
    return shutDown_;
}

void MainThreadCalls::SetWakeHook(std::function<void()> hook)
{
    std::lock_guard lock(mutex_);
    wakeHook_ = std::move(hook);
}
