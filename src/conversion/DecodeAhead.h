#pragma once

#include "platform/PictureMemory.h"
#include "platform/Raster.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvane {

// Decodes a source's rows on a thread of its own, a few bands ahead of the reader, so a picture that has
// the machine to itself keeps two cores busy: one decoding, one resampling. The rows handed out are the
// source's own, so the result is the same as reading the source directly.
class DecodeAhead final : public RowSource {
  public:
    explicit DecodeAhead(RowSource& source);
    ~DecodeAhead() override;
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // The memory the bands take for a source of this width.
    static int64_t BufferBytes(int32_t width);

    int32_t Width() const override { return source_.Width(); }
    int32_t Height() const override { return source_.Height(); }
    void LimitColumns(int32_t first, int32_t end) override;
    const uint8_t* Row(int32_t y) override;
    bool Finish() override;

  private:
    static constexpr int32_t BandRows = 16;
    static constexpr size_t Bands = 4;

    struct Band {
        std::vector<uint8_t> Pixels;
        int32_t First = 0;
        int32_t Count = 0; // rows made; fewer than BandRows at the end or where the source failed
        bool Ready = false;
    };

    void Produce(int32_t first);
    void Stop();

    RowSource& source_;
    PicturePool* pool_; // the creating thread's, which the producer works for too
    int32_t columnFirst_ = 0;
    int32_t columnEnd_ = 0;
    std::vector<Band> bands_;
    size_t reading_ = 0; // the band the reader is in
    bool started_ = false;
    bool direct_ = false; // the thread could not be started
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool draining_ = false; // the reader is done: no more bands are needed
    bool produced_ = false; // the producer has ended
    bool finished_ = false; // the source's Finish() result, once produced_
    std::thread thread_;
};

} // namespace quorvane
