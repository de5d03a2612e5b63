#pragma once

#include "platform/PictureMemory.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <utility>

namespace quorvane {

// Keeps the memory that the pictures of a run hold at the same time within a budget. Each picture has a
// ticket, handed out in walk order, and leases are granted strictly in ticket order: a picture waits
// until every earlier one has its lease (or gave up its ticket) and its own amount fits beside what is
// held. One that needs more than the whole budget waits until nothing is held, so it runs alone. Since the
// run takes finished pictures in walk order and each releases its lease once written, the oldest waiting
// picture always gets its lease in the end: the order rules out both deadlock and starvation.
// The gate owns the run's picture memory (PictureMemory.h): the room the budget leaves beside what is held
// is where its pool keeps released picture buffers for reuse.
class MemoryGate {
  public:
    explicit MemoryGate(int64_t budget) : budget_(budget), pool_(budget) {}
    MemoryGate(const MemoryGate&) = delete;
    MemoryGate& operator=(const MemoryGate&) = delete;

    int64_t Budget() const { return budget_; }
    // To be installed on every thread that works for the run.
    PicturePool& Pool() { return pool_; }

    // The next ticket in walk order.
    uint64_t Issue()
    {
        std::lock_guard lock(mutex_);
        return issued_++;
    }

    // Waits for the ticket's turn and room for `bytes`, then holds them. True when nothing else was held,
    // so the picture has the budget to itself for now.
    bool Acquire(uint64_t ticket, int64_t bytes)
    {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return ticket == next_ && (used_ == 0 || used_ + bytes <= budget_); });
        const bool alone = used_ == 0;
        used_ += bytes;
        pool_.SetRoom(budget_ - used_, false);
        peak_ = std::max(peak_, used_);
        Advance();
        lock.unlock();
        freed_.notify_all();
        return alone;
    }

    // Gives up a ticket that will never be used to acquire.
    void Forfeit(uint64_t ticket)
    {
        {
            std::lock_guard lock(mutex_);
            if (ticket == next_) {
                Advance();
            } else {
                forfeited_.insert(ticket);
            }
        }
        freed_.notify_all();
    }

    void Release(int64_t bytes)
    {
        {
            std::lock_guard lock(mutex_);
            used_ -= bytes;
            pool_.SetRoom(budget_ - used_, true);
        }
        freed_.notify_all();
    }

    // The most that was ever held at once.
    int64_t Peak() const
    {
        std::lock_guard lock(mutex_);
        return peak_;
    }

  private:
    void Advance()
    {
        ++next_;
        while (forfeited_.erase(next_) != 0) {
            ++next_;
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable freed_;
    int64_t budget_;
    int64_t used_ = 0;
    int64_t peak_ = 0;
    uint64_t issued_ = 0;
    uint64_t next_ = 0;
    std::set<uint64_t> forfeited_;
    PicturePool pool_;
};

// A picture's ticket and, once granted, the memory it holds. Going out of scope releases the memory or
// forfeits the unused ticket. Without a gate it does nothing.
class MemoryLease {
  public:
    MemoryLease() = default;
    MemoryLease(MemoryGate* gate, uint64_t ticket) : gate_(gate), ticket_(ticket), pending_(gate != nullptr) {}
    MemoryLease(MemoryLease&& other) noexcept { *this = std::move(other); }
    MemoryLease& operator=(MemoryLease&& other) noexcept
    {
        if (this != &other) {
            Reset();
            gate_ = std::exchange(other.gate_, nullptr);
            ticket_ = other.ticket_;
            pending_ = std::exchange(other.pending_, false);
            bytes_ = std::exchange(other.bytes_, 0);
        }
        return *this;
    }
    ~MemoryLease() { Reset(); }

    // Waits for the memory (see MemoryGate::Acquire); true when the picture runs alone.
    bool Take(int64_t bytes)
    {
        if (!pending_) {
            return false;
        }
        pending_ = false;
        bytes_ = bytes;
        return gate_->Acquire(ticket_, bytes);
    }

    // Gives back what the picture no longer holds.
    void ShrinkTo(int64_t bytes)
    {
        if (gate_ != nullptr && !pending_ && bytes < bytes_) {
            gate_->Release(bytes_ - bytes);
            bytes_ = bytes;
        }
    }

    void Reset()
    {
        if (gate_ != nullptr) {
            if (pending_) {
                gate_->Forfeit(ticket_);
            } else {
                gate_->Release(bytes_);
            }
        }
        gate_ = nullptr;
        pending_ = false;
        bytes_ = 0;
    }

  private:
    MemoryGate* gate_ = nullptr;
    uint64_t ticket_ = 0;
    bool pending_ = false;
    int64_t bytes_ = 0;
};

} // namespace quorvane
