#include "conversion/Run.h"

#include "conversion/MemoryGate.h"
#include "conversion/Naming.h"
#include "picture/Formats.h"
#include "platform/EngineError.h"
#include "platform/IntConv.h"
#include "platform/System.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace quorvane {

namespace {

// Thrown inside the run when it is told to stop; the Start command answers it with the report so far.
struct RunInterrupted {};

// A window is kept answering after this many entries of a long listing.
constexpr unsigned ListedPerKeepAlive = 256;
// Pictures in the pipeline at once, per worker: enough that no worker waits for the walk.
constexpr size_t TasksPerWorker = 3;
// How long the run waits for a picture being prepared before it lets a window paint again.
constexpr auto KeepAliveInterval = std::chrono::milliseconds(40);

bool ShouldEnter(RunControls& controls, const DirEntry& entry)
{
    return controls.IncludeSubfolders() && entry.Attributes == Attr::Directory && entry.Name != "." &&
           entry.Name != "..";
}

// Depth-first listing shared by counting and walking: each subfolder is handled completely at the place
// of its entry, then the entry itself goes through the step. A folder already entered (reached again
// through a mount) is not listed twice, so every walk ends.
// `tellUnreadable`: a folder that cannot be listed is told to the controls.
template <typename Step>
void Traverse(RunControls& controls, const std::string& folder, std::set<FileId>& visited, const Step& step,
              bool tellUnreadable = false)
{
    if (auto identity = IdentityOf(folder); identity && !visited.insert(*identity).second) {
        return;
    }
    DirListing listing(folder);
    if (!listing.IsOpen() && tellUnreadable) {
        controls.FolderUnreadable(folder, listing.Error());
    }
    DirEntry entry;
    for (unsigned listed = 1; listing.Next(entry); ++listed) {
        // Listing a huge tree takes a while; a window keeps answering meanwhile.
        if (listed % ListedPerKeepAlive == 0) {
            controls.KeepAlive();
        }
        if (ShouldEnter(controls, entry)) {
            Traverse(controls, JoinPath(folder, entry.Name), visited, step, tellUnreadable);
        }
        step(folder, entry);
    }
}

} // namespace

std::string ErrorBoxText(const std::string& text)
{
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) {
        return text + ".";
    }
    return text;
}

unsigned ConversionRun::Workers(int jobs)
{
    // Even on one core a worker keeps the caller free to answer its window while a picture decodes.
    return jobs > 0 ? static_cast<unsigned>(jobs) : std::max(2u, std::thread::hardware_concurrency());
}

int64_t ConversionRun::DefaultMemoryBudget(unsigned workers)
{
    constexpr int64_t MiB = int64_t{1} << 20;
    const int64_t wanted = std::max<int64_t>(128 * MiB, int64_t{workers} * 160 * MiB);
    const int64_t physical = PhysicalMemoryBytes();
    return physical > 0 ? std::min(wanted, physical / 8) : wanted;
}

// Prepares pictures on worker threads ahead of the walk while the run takes the results strictly in
// the order they were handed in. With one job everything happens on the caller's thread, one at a time.
class ConversionRun::Pipeline {
  public:
    struct Task {
        std::string Path;
        PictureFormat Format = PictureFormat::Jpeg;
        PictureSettings Settings;
        MemoryLease Lease; // the picture's ticket, until it is prepared
        PreparedPicture Result;
        bool Taken = false;
        bool Done = false;
    };

    // Created and destroyed on the run's thread, which works in the run's picture memory meanwhile.
    Pipeline(const RunOptions& run, int64_t budget) : gate_(budget), scope_(&gate_.Pool()), preparer_(run.Preparer)
    {
        const unsigned workers = Workers(run.Jobs);
        options_.Stop = run.Stop;
        options_.Colours = &colours_;
        if (workers > 1) {
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
    }

    ~Pipeline()
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

    bool Parallel() const { return !threads_.empty(); }
    bool Full() const { return tasks_.size() >= limit_; }
    bool Empty() const { return tasks_.empty(); }
    int64_t Peak() const { return gate_.Peak(); }
    int ColourProfilesRead() const { return colours_.ProfilesRead(); }

    void Submit(std::shared_ptr<Task> task)
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

    // The oldest task, removed from the line; when a worker has it, waits until it is prepared. A task no
    // worker has taken yet is returned unprepared, for the caller to prepare or drop.
    std::shared_ptr<Task> TakeOldest(RunControls& controls)
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

    bool Stopped() const { return options_.Stop != nullptr && options_.Stop->load(); }

    // Everything a preparation throws ends here, never the end of the process.
    void Prepare(Task& task)
    {
        try {
            task.Result = preparer_(task.Path, task.Format, task.Settings, std::move(task.Lease), options_);
        } catch (...) {
            task.Result = FailedPreparation(std::current_exception());
        }
    }

  private:
    void Work()
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

    // The gate outlives the tasks, whose leases go back to it.
    MemoryGate gate_;
    ColourTransforms colours_;
    PicturePoolScope scope_;
    std::deque<std::shared_ptr<Task>> tasks_; // in walk order, owned by the run's thread
    std::deque<std::shared_ptr<Task>> queue_; // not yet taken by a worker
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    size_t limit_ = 1;
    bool stopping_ = false;
    decltype(RunOptions::Preparer) preparer_;
    PrepareOptions options_;
};

namespace {

// A target size the encoder cannot write is refused before anything is recorded. A text that is no number
// is left to the run, which ends with its conversion error at the first picture.
bool TargetSizeAccepted(RunControls& controls)
{
    const std::string widthText = controls.WidthText();
    const std::string heightText = controls.HeightText();
    const auto width = TryStrToInt(widthText);
    const auto height = TryStrToInt(heightText);
    if (!width || !height || TargetSize{*width, *height}.Usable()) {
        return true;
    }
    controls.ShowMessage({MessageId::TargetSizeOutOfRange, IntToStr(*width) + "×" + IntToStr(*height)});
    return false;
}

// The tests of the boxes before anything else happens; false after showing the message of the first that
// fails.
bool InputsAccepted(RunControls& controls)
{
    static constexpr std::array<std::pair<std::string (RunControls::*)(), MessageId>, 4> InputTests = {{
        {&RunControls::SourceText, MessageId::NoSource},
        {&RunControls::ReceiverText, MessageId::NoReceiver},
        {&RunControls::WidthText, MessageId::NoWidth},
        {&RunControls::HeightText, MessageId::NoHeight},
    }};
    for (const auto& [text, message] : InputTests) {
        if ((controls.*text)().empty()) {
            controls.ShowMessage({message, {}});
            return false;
        }
    }
    if (controls.StartFromNumber() && !TryStrToInt(controls.StartNumberText())) {
        controls.ShowMessage({MessageId::StartNumberNotDigits, {}});
        return false;
    }
    // Nothing could be written into a receiver that is not a folder: one message, and no run.
    if (const std::string receiver = controls.ReceiverText(); !IsFolder(receiver)) {
        controls.ShowMessage({MessageId::CheckFolder, receiver});
        return false;
    }
    return TargetSizeAccepted(controls);
}

} // namespace

RunOutcome ConversionRun::StartCommand(RunControls& controls)
{
    if (!InputsAccepted(controls)) {
        return RunOutcome::Refused;
    }
    // One run per receiver: a second one would overwrite the first one's files.
    const std::string receiver = controls.ReceiverText();
    const std::optional<FolderLock> lock = FolderLock::Take(receiver);
    if (!lock) {
        controls.ShowMessage({MessageId::ReceiverBusy, receiver});
        return RunOutcome::Refused;
    }
    RemoveLeftoverTemporaries(receiver);
    controls.RecordFolders();
    failedSaves_ = 0;
    unwritten_.clear();
    wroteAny_ = false;
    bool interrupted = false;
    try {
        CountPictures(controls, controls.SourceText());
        const bool ticked = controls.StartFromNumber();
        PrepareNumbering(state_, controls.PreviewText(), ticked, ticked ? controls.StartNumberText() : std::string());
        const int64_t budget =
            options_.MemoryBudget > 0 ? options_.MemoryBudget : DefaultMemoryBudget(Workers(options_.Jobs));
        Pipeline pipeline(options_, budget);
        visitedDirs_.clear();
        try {
            WalkFolder(controls, pipeline, controls.SourceText());
            while (!pipeline.Empty()) {
                FinishOldest(controls, pipeline);
            }
        } catch (const RunInterrupted&) {
            interrupted = true;
        }
        peakLeased_ = pipeline.Peak();
        colourProfilesRead_ = pipeline.ColourProfilesRead();
    } catch (...) {
        ReturnFreeMemory();
        if (wroteAny_) {
            SyncFileSystem(controls.ReceiverText());
        }
        // Unlike a bare run, a run ended by an error still starts the next one from zero.
        Reset();
        controls.SetProgress(0);
        throw;
    }
    if (wroteAny_) {
        SyncFileSystem(controls.ReceiverText());
    }
    ReturnFreeMemory();
    Report(controls, interrupted);
    Reset();
    controls.SetProgress(0);
    return interrupted ? RunOutcome::Interrupted : RunOutcome::Completed;
}

void ConversionRun::Report(RunControls& controls, bool interrupted)
{
    RunReport report;
    const int64_t processed = controls.StartFromNumber() ? state_.LoadedFiles : state_.FileNumber;
    const auto skipped = static_cast<int64_t>(skippedFiles_.size());
    // A stopped run counts the pictures the walk reached, so its totals add up.
    report.TotalText = IntToStr(interrupted ? processed + skipped : state_.TotalFiles);
    report.ProcessedText = IntToStr(processed);
    report.SkippedText = IntToStr(skipped);
    report.Files = skippedFiles_;
    report.Unwritten = unwritten_;
    report.Interrupted = interrupted;
    controls.SetProgress(100);
    controls.ShowReport(report);
}

void ConversionRun::Reset()
{
    state_.ZeroPosition = 0;
    state_.FileNumber = 0;
    state_.LoadedFiles = 0;
    state_.TotalFiles = 0;
    state_.ZeroDropLevel = 0;
    skippedFiles_.clear();
}

void ConversionRun::CountPictures(RunControls& controls, const std::string& folder)
{
    std::set<FileId> visited;
    Traverse(
        controls, folder, visited,
        [this](const std::string&, const DirEntry& entry) {
            if (FormatOfName(entry.Name) && state_.TotalFiles < INT32_MAX) {
                ++state_.TotalFiles;
            }
        },
        true);
    // Only a receiver inside the source tree can put this run's outputs in the walk's way; then the
    // counted pictures are told apart from them by identity.
    const auto receiver = IdentityOf(controls.ReceiverText());
    ownOutputs_.Begin(receiver && visited.count(*receiver) != 0);
    if (ownOutputs_.Tracking()) {
        visited.clear();
        Traverse(controls, folder, visited, [this](const std::string& parent, const DirEntry& entry) {
            if (FormatOfName(entry.Name)) {
                ownOutputs_.Count(JoinPath(parent, entry.Name));
            }
        });
    }
}

void ConversionRun::WalkFolder(RunControls& controls, Pipeline& pipeline, const std::string& folder)
{
    Traverse(controls, folder, visitedDirs_,
             [&](const std::string& parent, const DirEntry& entry) { ProcessFile(controls, pipeline, parent, entry); });
}

void ConversionRun::ProcessFile(RunControls& controls, Pipeline& pipeline, const std::string& folder,
                                const DirEntry& entry)
{
    if (pipeline.Stopped()) {
        throw RunInterrupted{};
    }
    const auto format = FormatOfName(entry.Name);
    if (!format) {
        return;
    }
    auto task = std::make_shared<Pipeline::Task>();
    task->Path = JoinPath(folder, entry.Name);
    task->Format = *format;
    task->Settings = {controls.WidthText(), controls.HeightText(), controls.QualityText()};
    pipeline.Submit(std::move(task));
    // One at a time, each picture is finished before the next entry is read; in parallel a bounded number
    // of pictures is prepared ahead.
    while (!pipeline.Empty() && (!pipeline.Parallel() || pipeline.Full())) {
        FinishOldest(controls, pipeline);
    }
}

void ConversionRun::FinishOldest(RunControls& controls, Pipeline& pipeline)
{
    auto task = pipeline.TakeOldest(controls);
    controls.KeepAlive();
    if (pipeline.Stopped()) {
        throw RunInterrupted{};
    }
    // A file this run has written (a receiver inside the source tree) is never read back as a source.
    if (ownOutputs_.IsOutput(task->Path)) {
        controls.FileSkipped(task->Path, "записан этим запуском, не читается");
        return;
    }
    if (!task->Done) {
        pipeline.Prepare(*task);
        // A picture the interruption cut short is neither written nor listed.
        if (pipeline.Stopped()) {
            throw RunInterrupted{};
        }
    }
    // From now on an output may take this picture's name: its bytes are no longer needed.
    ownOutputs_.Read(task->Path);
    FinishPicture(controls, task->Path, task->Result);
}

void ConversionRun::Skip(RunControls& controls, const std::string& path, const std::string& reason)
{
    skippedFiles_.push_back(path);
    controls.FileSkipped(path, reason);
}

void ConversionRun::FinishPicture(RunControls& controls, const std::string& path, PreparedPicture& prepared)
{
    using Outcome = PreparedPicture::Outcome;
    switch (prepared.Result) {
    case Outcome::LoadFailed:
        Skip(controls, path, prepared.Load.Text());
        return;
    case Outcome::SizeError:
    case Outcome::Failed:
        throw EngineError(prepared.ErrorText);
    default:
        break;
    }
    // The counters are 32-bit and wrap around instead of overflowing.
    state_.FileNumber = static_cast<int32_t>(static_cast<uint32_t>(state_.FileNumber) + 1u);
    state_.LoadedFiles = static_cast<int32_t>(static_cast<uint32_t>(state_.LoadedFiles) + 1u);
    if (prepared.Result == Outcome::FitError) {
        throw EngineError(prepared.ErrorText);
    }
    for (const std::string& warning : prepared.Warnings) {
        controls.FileWarning(path, warning);
    }
    SaveOutputPicture(controls, prepared);
    prepared.Lease.Reset();
}

void ConversionRun::SaveOutputPicture(RunControls& controls, const PreparedPicture& prepared)
{
    const std::string name = NumberedFileName(state_);
    const std::string path = JoinPath(controls.ReceiverText(), name);
    std::string reason;
    if (prepared.Result != PreparedPicture::Outcome::Encoded) {
        reason = "не удалось сжать в JPEG";
    } else if (ownOutputs_.WouldReplaceUnread(path)) {
        // A photo of the source named like this output, not converted yet, keeps its bytes.
        reason = "на этом месте исходный снимок, ещё не прочитанный";
    } else if (const WriteResult written = options_.Writer(path, prepared.Jpeg); !written) {
        reason = written.Reason;
    }
    if (!reason.empty()) {
        SaveFailed(controls, name, path, reason);
        return;
    }
    wroteAny_ = true;
    ownOutputs_.Written(path);
    UpdateProgress(controls);
}

// A failed save counts as processed. The message is shown at the first of a run only; the report lists
// every output that was not written.
void ConversionRun::SaveFailed(RunControls& controls, const std::string& name, const std::string& path,
                               const std::string& reason)
{
    if (failedSaves_++ == 0) {
        controls.ShowMessage({MessageId::CheckFolder, controls.ReceiverText()});
    }
    const std::string line = "не записан: " + reason;
    unwritten_.push_back(name + ": " + line);
    controls.OutputNotWritten(path, line);
}

void ConversionRun::UpdateProgress(RunControls& controls)
{
    const int64_t done = controls.StartFromNumber() ? state_.LoadedFiles : state_.FileNumber;
    // More pictures than were counted (added during the run) show as a full gauge.
    const int64_t percent = state_.TotalFiles > 0 ? done * 100 / state_.TotalFiles : 100;
    controls.SetProgress(static_cast<int32_t>(std::clamp<int64_t>(percent, 0, 100)));
}

} // namespace quorvane
