#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Keeps the memory that pictures prepared at the same time hold within a budget: a picture waits until
// its estimate fits beside the others. One that needs more than the whole budget waits until it is alone,
// so every picture is prepared in the end.
class MemoryGate {
  public:
    explicit MemoryGate(int64_t budget) : budget_(budget) {}

    void Acquire(int64_t bytes)
    {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return used_ == 0 || used_ + bytes <= budget_; });
        used_ += bytes;
    }

    void Release(int64_t bytes)
    {
        {
            std::lock_guard lock(mutex_);
            used_ -= bytes;
        }
        freed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable freed_;
    int64_t budget_;
    int64_t used_ = 0;
};

// Holds an amount of a gate's budget for as long as it lives.
class MemoryLease {
  public:
    MemoryLease() = default;
    MemoryLease(const MemoryLease&) = delete;
    MemoryLease& operator=(const MemoryLease&) = delete;
    ~MemoryLease() { Reset(); }

    void Take(MemoryGate* gate, int64_t bytes)
    {
        Reset();
        if (gate != nullptr) {
            gate->Acquire(bytes);
            gate_ = gate;
            bytes_ = bytes;
        }
    }

    void Reset()
    {
        if (gate_ != nullptr) {
            gate_->Release(bytes_);
            gate_ = nullptr;
        }
    }

  private:
    MemoryGate* gate_ = nullptr;
    int64_t bytes_ = 0;
};
