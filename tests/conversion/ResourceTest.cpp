// The run's use of memory and threads: the gate's order and budget, leases that hold until the output is
// written, outputs that do not depend on how many pictures run at once, and failures inside a worker.

#include "conversion/Conversion.h"
#include "conversion/DecodeAhead.h"
#include "conversion/MemoryGate.h"
#include "conversion/RunSeams.h"
#include "platform/EngineError.h"
#include "support/BadInputs.h"
#include "support/FakeControls.h"
#include "support/TestSupport.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <new>
#include <random>
#include <stdexcept>
#include <thread>

using namespace quorvane;

namespace fs = std::filesystem;

namespace {

// A later ticket waits for the earlier ones, a lease that does not fit waits for memory, and a ticket
// given up lets the next one through.
TEST(MemoryGate, GrantsFollowTheTicketsAndTheBudget)
{
    MemoryGate gate(100);
    const uint64_t first = gate.Issue();
    const uint64_t second = gate.Issue();
    const uint64_t third = gate.Issue();
    const uint64_t fourth = gate.Issue();
    std::atomic<int> granted{0};
    std::thread later([&] {
        MemoryLease lease(&gate, second);
        lease.Take(70);
        granted = 2;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(granted.load(), 0) << "the second ticket went before the first";
    MemoryLease lease(&gate, first);
    EXPECT_TRUE(lease.Take(40)); // alone
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(granted.load(), 0) << "70 went beside 40 in a budget of 100";
    lease.ShrinkTo(30);
    later.join();
    EXPECT_EQ(granted.load(), 2);
    MemoryLease(&gate, third).Reset(); // forfeited
    MemoryLease last(&gate, fourth);
    EXPECT_FALSE(last.Take(0)); // not alone: the first still holds its 30
    EXPECT_EQ(gate.Peak(), 100);
}

// Many threads ask for leases of mixed sizes (some larger than the whole budget, some tickets given up)
// in shuffled order: what is held never exceeds the budget unless a picture holds it alone, and every
// thread gets its turn.
TEST(MemoryGate, ManyThreadsStayWithinTheBudget)
{
    constexpr int64_t Budget = 100;
    constexpr int Tickets = 200;
    MemoryGate gate(Budget);
    std::vector<int64_t> sizes(Tickets);
    std::mt19937 random(7);
    for (int64_t& size : sizes) {
        size = random() % 10 == 0 ? 150 : 1 + random() % 60;
    }
    std::vector<uint64_t> tickets(Tickets);
    for (uint64_t& ticket : tickets) {
        ticket = gate.Issue();
    }
    std::mutex mutex;
    std::vector<uint64_t> granted;
    int64_t held = 0;
    bool overdrawn = false;
    std::vector<std::thread> threads;
    std::vector<int> order(Tickets);
    for (int i = 0; i < Tickets; ++i) {
        order[i] = i;
    }
    std::shuffle(order.begin(), order.end(), random);
    for (int i : order) {
        threads.emplace_back([&, i] {
            MemoryLease lease(&gate, tickets[i]);
            if (i % 17 == 0) {
                return; // forfeited
            }
            lease.Take(sizes[i]);
            {
                std::lock_guard lock(mutex);
                granted.push_back(tickets[i]);
                held += sizes[i];
                overdrawn = overdrawn || (held > Budget && held != sizes[i]);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            std::lock_guard lock(mutex);
            held -= sizes[i];
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(overdrawn);
    EXPECT_EQ(granted.size(), static_cast<size_t>(Tickets - (Tickets + 16) / 17));
    EXPECT_LE(gate.Peak(), 150);
}

// Two runs in one process keep picture memory of their own: a buffer goes back to the pool it came from
// whichever thread releases it, one run's gate coming and going changes neither the other's budget nor the
// buffers it keeps, and a buffer released after its pool is gone goes back to the system.
TEST(MemoryGate, EachRunHasPictureMemoryOfItsOwn)
{
    if (!PicturePoolsKeepBuffers()) {
        GTEST_SKIP() << "every buffer comes from the heap";
    }
    constexpr size_t MiB = size_t{1} << 20;
    MemoryGate large(int64_t{64} * MiB);
    void* fromLarge = nullptr;
    std::thread([&] {
        PicturePoolScope scope(&large.Pool());
        fromLarge = AcquirePictureMemory(40 * MiB, false);
    }).join();
    void* outliving = nullptr;
    {
        MemoryGate small(int64_t{8} * MiB);
        std::thread([&] {
            PicturePoolScope scope(&small.Pool());
            ReleasePictureMemory(AcquirePictureMemory(6 * MiB, false), 6 * MiB);
            ReleasePictureMemory(fromLarge, 40 * MiB);
            ReleasePictureMemory(AcquirePictureMemory(10 * MiB, false), 10 * MiB); // beyond its budget
            outliving = AcquirePictureMemory(2 * MiB, true);
        }).join();
        EXPECT_EQ(small.Pool().KeptBytes(), 0) << "the 6 MiB buffer grew into the 10 MiB one, not kept";
        EXPECT_EQ(small.Pool().InUseBytes(), int64_t{2} * MiB);
        EXPECT_EQ(large.Pool().KeptBytes(), int64_t{40} * MiB);
        EXPECT_EQ(large.Pool().InUseBytes(), 0);
    }
    ReleasePictureMemory(outliving, 2 * MiB);
    EXPECT_EQ(large.Pool().Budget(), int64_t{64} * MiB);
    EXPECT_EQ(large.Pool().KeptBytes(), int64_t{40} * MiB);
    EXPECT_EQ(large.Pool().InUseBytes(), 0);
}

// The decode-ahead thread decodes for the picture that started it, in the run's picture memory.
TEST(MemoryGate, DecodingAheadWorksInTheRunsPictureMemory)
{
    struct PoolRecorder final : RowSource {
        Raster Rows{64, 64};
        std::atomic<PicturePool*> Seen{nullptr};
        int32_t Width() const override { return Rows.Width; }
        int32_t Height() const override { return Rows.Height; }
        const uint8_t* Row(int32_t y) override
        {
            Seen = CurrentPicturePool();
            return Rows.Row(y);
        }
    } source;
    MemoryGate gate(int64_t{1} << 20);
    PicturePoolScope scope(&gate.Pool());
    DecodeAhead ahead(source);
    ASSERT_NE(ahead.Row(0), nullptr);
    EXPECT_TRUE(ahead.Finish());
    EXPECT_EQ(source.Seen.load(), &gate.Pool());
}

struct ResourceRun : ::testing::Test {
    TempDir dir;
    std::string in = dir / "in";

    void SetUp() override { fs::create_directory(in); }

    // Pictures of every kind the run streams or holds whole.
    void WriteMixedPictures(int count)
    {
        using namespace TestFiles;
        for (int i = 0; i < count; ++i) {
            const Raster raster = MakeTestRaster(300 + 37 * i, 220 + 23 * i, static_cast<uint32_t>(i));
            const std::string name = in + "/p" + std::to_string(i);
            switch (i % 5) {
            case 0:
                WriteFileBytes(name + ".jpg", BuildJpeg(raster, {.Progressive = true}));
                break;
            case 1:
                WriteFileBytes(name + ".bmp", EncodeBmp(raster, 24));
                break;
            case 2:
                WriteFileBytes(name + ".jpg", WithExifOrientation(BuildJpeg(raster), 6));
                break;
            case 3:
                WriteFileBytes(name + ".bmp", EncodeRleBmp(raster, 8));
                break;
            default:
                WriteFileBytes(name + ".jpg", BuildJpeg(raster, {.Color = JpegColor::Gray}));
                break;
            }
        }
    }

    std::map<std::string, std::string> Run(int jobs, int64_t budget, const std::string& out, int64_t* peak = nullptr)
    {
        fs::create_directory(out);
        FakeControls controls;
        controls.Source = in;
        controls.Receiver = out;
        controls.Width = "360";
        controls.Height = "640";
        ConversionRun run({.Jobs = jobs, .MemoryBudget = budget});
        EXPECT_EQ(run.StartCommand(controls), RunOutcome::Completed);
        if (peak != nullptr) {
            *peak = run.PeakLeasedBytes();
        }
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(out)) {
            files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
        }
        return files;
    }
};

// Whatever the job count and the budget (down to one that lets each picture run alone, decoding on a
// second thread), the files are byte for byte those of a run one at a time, and the memory counted at
// once stays within the budget.
TEST_F(ResourceRun, OutputsAndBudgetHoldAtAnyJobCountAndBudget)
{
    WriteMixedPictures(15);
    const auto reference = Run(1, 0, dir / "one");
    ASSERT_EQ(reference.size(), 15u);
    struct Case {
        int Jobs;
        int64_t Budget;
    };
    for (const Case c : {Case{8, int64_t{6} << 20}, Case{4, int64_t{2} << 20}, Case{2, 0}, Case{8, 0}}) {
        int64_t peak = 0;
        const std::string out = dir / ("out-" + std::to_string(c.Jobs) + "-" + std::to_string(c.Budget));
        EXPECT_EQ(Run(c.Jobs, c.Budget, out, &peak), reference) << c.Jobs << " jobs, budget " << c.Budget;
        if (c.Budget > int64_t{4} << 20) {
            // These pictures need 2 to 4 MiB each: a budget of 6 MiB holds two of them at most.
            EXPECT_LE(peak, c.Budget) << c.Jobs;
        }
    }
}

PreparedPicture Throwing(const std::string& path, PictureFormat format, const PictureSettings& settings,
                         MemoryLease lease, const PrepareOptions& options)
{
    if (path.ends_with("p1.bmp")) {
        throw std::bad_alloc();
    }
    if (path.ends_with("p2.jpg")) {
        throw std::logic_error("broken invariant");
    }
    return PreparePicture(path, format, settings, std::move(lease), options);
}

// What a worker throws never ends the process: running out of memory is a failed load, anything else
// ends the run with its text after the pictures before it were written.
TEST_F(ResourceRun, ExceptionsInsidePreparationAreCaughtAtTheWorker)
{
    WriteMixedPictures(4);
    for (int jobs : {1, 3}) {
        const std::string out = dir / ("out" + std::to_string(jobs));
        fs::create_directory(out);
        FakeControls controls;
        controls.Source = in;
        controls.Receiver = out;
        ConversionRun run({.Jobs = jobs}, {.Preparer = &Throwing});
        try {
            run.StartCommand(controls);
            ADD_FAILURE() << "the run did not end with the error";
        } catch (const EngineError& error) {
            EXPECT_STREQ(error.what(), "broken invariant");
        }
        EXPECT_TRUE(fs::exists(out + "/img0001.jpg")) << jobs;
        EXPECT_FALSE(fs::exists(out + "/img0002.jpg")) << jobs;
        ASSERT_EQ(controls.SkipNotes.size(), 1u);
        const LoadError outOfMemory{LoadReason::OutOfMemory, {}};
        EXPECT_EQ(controls.SkipNotes[0], JoinPath(in, "p1.bmp") + ": " + MessageText(outOfMemory.Text()));
    }
}

// The receiver is the source: eight copies of one photo and a different photo named img0001.jpg. Whatever
// the listing order and the job count, the photo is never replaced before it is read: it is converted in
// its turn, and the output that takes its name waits complete until then, so every output is written.
TEST_F(ResourceRun, AnUnreadPhotoIsNeverReplaced)
{
    const auto photo = MakeJpeg(MakeTestRaster(40, 30, 7));
    const std::string alone = dir / "alone";
    fs::create_directory(alone);
    WriteFileBytes(alone + "/p.jpg", photo);
    FakeControls reference;
    reference.Source = alone;
    reference.Receiver = alone;
    ConversionRun({.Jobs = 1}).StartCommand(reference);
    const std::string wallpaper = ReadFileBytes(alone + "/img0001.jpg");

    for (int jobs : {1, 2, 4}) {
        fs::remove_all(in);
        fs::create_directory(in);
        for (char c = 'a'; c <= 'h'; ++c) {
            WriteFileBytes(in + "/" + c + ".jpg", MakeJpeg(MakeTestRaster(40, 30)));
        }
        WriteFileBytes(in + "/img0001.jpg", photo);
        FakeControls controls; // checks Total = Processed + Skipped
        controls.Source = in;
        controls.Receiver = in;
        ConversionRun run({.Jobs = jobs});
        ASSERT_EQ(run.StartCommand(controls), RunOutcome::Completed);
        const RunReport& report = controls.Reports.at(0);
        EXPECT_EQ(report.TotalText, "9");
        EXPECT_EQ(report.SkippedText, "0");
        int found = 0;
        for (const auto& entry : fs::directory_iterator(in)) {
            found += ReadFileBytes(entry.path().string()) == wallpaper ? 1 : 0;
        }
        EXPECT_EQ(found, 1) << "the photo's wallpaper, at " << jobs << " jobs";
        EXPECT_TRUE(report.Unwritten.empty()) << jobs;
        EXPECT_EQ(report.Closing(), Message(MessageId::NoErrors)) << jobs;
        EXPECT_TRUE(controls.Messages.empty()) << jobs;
        for (int i = 1; i <= 9; ++i) {
            EXPECT_TRUE(fs::exists(in + "/img000" + std::to_string(i) + ".jpg")) << i << " at " << jobs << " jobs";
        }
    }
}

} // namespace
