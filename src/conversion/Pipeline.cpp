#include "conversion/Pipeline.h"

#include <chrono>
#include <exception>

namespace quorvane {

namespace {

// Pictures in the pipeline at once, per worker: enough that no worker waits for the walk.
constexpr size_t TasksPerWorker = 3;
// How long the run waits for a picture being prepared before it lets a window paint again.
constexpr auto KeepAliveInterval = std::chrono::milliseconds(40);

} // namespace

Pipeline::Pipeline(unsigned workers, int64_t budget, const std::atomic<bool>* stop, Preparer preparer)
    : gate_(budget), scope_(&gate_.Pool()), preparer_(preparer)
{
    options_.Stop = stop;
    options_.Colours = &colours_;
    if (workers <= 1) {
        return;
    }
    limit_ = workers * TasksPerWorker;
    // A picture that needs more than half the budget mostly runs alone: it spreads over two threads.
    options_.SpreadAbove = budget / 2;
    for (unsigned i = 0; i < workers; ++i) {
        try {
            threads_.emplace_back([this] {
                PicturePoolScope scope(&gate_.Pool());
                try {
                    Work();
                } catch (...) {
                    // Prepare() catches what a picture throws; nothing else here may end the process.
                }
            });
        } catch (...) {
            break; // out of threads or address space: the workers there are (or none) do the run
        }
    }
}

Pipeline::~Pipeline()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_) {
        thread.join();
    }
}

void Pipeline::Submit(std::shared_ptr<Task> task)
{
    task->Lease = MemoryLease(&gate_, gate_.Issue());
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(task);
        // Without workers nothing drains the queue: the caller prepares every task itself.
        if (!threads_.empty()) {
            queue_.push_back(std::move(task));
        }
    }
    wake_.notify_one();
}

std::shared_ptr<Pipeline::Task> Pipeline::TakeOldest(RunControls& controls)
{
    std::shared_ptr<Task> task = tasks_.front();
    tasks_.pop_front();
    std::unique_lock lock(mutex_);
    if (!task->Taken) {
        task->Taken = true;
        return task;
    }
    while (!task->Done) {
        done_.wait_for(lock, KeepAliveInterval);
        if (!task->Done) {
            lock.unlock();
            controls.KeepAlive();
            if (Stopped()) {
                throw RunInterrupted{};
            }
            lock.lock();
        }
    }
    return task;
}

void Pipeline::Prepare(Task& task)
{
    try {
        task.Result = preparer_(task.Path, task.Format, task.Settings, std::move(task.Lease), options_);
    } catch (...) {
        task.Result = FailedPreparation(std::current_exception());
    }
}

void Pipeline::Work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
            return;
        }
        std::shared_ptr<Task> task = std::move(queue_.front());
        queue_.pop_front();
        if (task->Taken) {
            continue;
        }
        task->Taken = true;
        lock.unlock();
        Prepare(*task);
        lock.lock();
        task->Done = true;
        done_.notify_all();
    }
}

} // namespace quorvane
