#include "conversion/DecodeAhead.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace quorvane {

DecodeAhead::DecodeAhead(RowSource& source) : source_(source), pool_(CurrentPicturePool()), columnEnd_(source.Width())
{
}

DecodeAhead::~DecodeAhead()
{
    Stop();
}

int64_t DecodeAhead::BufferBytes(int32_t width)
{
    return int64_t{width} * 3 * BandRows * static_cast<int64_t>(Bands);
}

void DecodeAhead::LimitColumns(int32_t first, int32_t end)
{
    source_.LimitColumns(first, end);
    columnFirst_ = first;
    columnEnd_ = end;
}

void DecodeAhead::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

// The producer: rows from `first` on, band after band into the ring, then the source's own end check.
void DecodeAhead::Produce(int32_t first)
{
    const size_t offset = static_cast<size_t>(columnFirst_) * 3;
    const size_t length = static_cast<size_t>(std::max(0, columnEnd_ - columnFirst_)) * 3;
    const size_t stride = static_cast<size_t>(Width()) * 3;
    bool failed = false;
    size_t slot = 0;
    for (int32_t y = first; y < Height() && !failed; y += BandRows, slot = (slot + 1) % Bands) {
        Band& band = bands_[slot];
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || draining_ || !band.Ready; });
            if (stopping_) {
                return;
            }
            if (draining_) {
                break; // the reader has all it needs; the source's end check reads the rest
            }
        }
        band.First = y;
        band.Count = 0;
        for (int32_t k = 0; k < BandRows && y + k < Height(); ++k) {
            const uint8_t* row = source_.Row(y + k);
            if (row == nullptr) {
                failed = true;
                break;
            }
            std::memcpy(band.Pixels.data() + static_cast<size_t>(k) * stride + offset, row + offset, length);
            ++band.Count;
        }
        {
            std::lock_guard lock(mutex_);
            band.Ready = true;
        }
        changed_.notify_all();
    }
    const bool finished = !failed && source_.Finish();
    {
        std::lock_guard lock(mutex_);
        produced_ = true;
        finished_ = finished;
    }
    changed_.notify_all();
}

const uint8_t* DecodeAhead::Row(int32_t y)
{
    if (!started_) {
        started_ = true;
        bands_.resize(Bands);
        for (Band& band : bands_) {
            band.Pixels.resize(static_cast<size_t>(Width()) * 3 * BandRows);
        }
        try {
            thread_ = std::thread([this, y] {
                PicturePoolScope scope(pool_);
                Produce(y);
            });
        } catch (const std::system_error&) {
            direct_ = true; // no thread to be had: the reader decodes its rows itself
        }
    }
    if (direct_) {
        return source_.Row(y);
    }
    std::unique_lock lock(mutex_);
    for (;;) {
        Band& band = bands_[reading_];
        changed_.wait(lock, [&] { return band.Ready || produced_; });
        if (!band.Ready) {
            return nullptr; // the producer ended before making this row: the source failed
        }
        if (y < band.First + band.Count) {
            return band.Pixels.data() + static_cast<size_t>(y - band.First) * static_cast<size_t>(Width()) * 3;
        }
        if (band.Count < BandRows) {
            return nullptr; // the source failed inside this band
        }
        band.Ready = false;
        reading_ = (reading_ + 1) % Bands;
        changed_.notify_all();
    }
}

bool DecodeAhead::Finish()
{
    if (!started_ || direct_) {
        return source_.Finish();
    }
    {
        std::unique_lock lock(mutex_);
        draining_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return produced_; });
    }
    thread_.join();
    return finished_;
}

} // namespace quorvane
