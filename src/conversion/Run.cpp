#include "conversion/Run.h"

#include "conversion/MemoryGate.h"
#include "conversion/Naming.h"
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
#include <string_view>
#include <thread>

namespace {

std::string_view Extension(const std::string& name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot);
}

bool IsCountedPicture(std::string_view ext)
{
    static constexpr std::array<std::string_view, 6> Extensions = {".BMP", ".JPG", ".JPEG", ".bmp", ".jpg", ".jpeg"};
    return std::find(Extensions.begin(), Extensions.end(), ext) != Extensions.end();
}

std::optional<PictureKind> PictureKindOf(std::string_view ext)
{
    static constexpr std::array<std::string_view, 4> JpegExtensions = {".JPG", ".JPEG", ".jpeg", ".jpg"};
    static constexpr std::array<std::string_view, 2> BmpExtensions = {".BMP", ".bmp"};
    if (std::find(JpegExtensions.begin(), JpegExtensions.end(), ext) != JpegExtensions.end()) {
        return PictureKind::Jpeg;
    }
    if (std::find(BmpExtensions.begin(), BmpExtensions.end(), ext) != BmpExtensions.end()) {
        return PictureKind::Bmp;
    }
    return std::nullopt;
}

// Thrown inside the run when it is told to stop; the Start command answers it with the report so far.
struct RunInterrupted {};

bool ShouldEnter(RunControls& controls, const DirEntry& entry)
{
    return controls.IncludeSubfolders() && entry.Attributes == Attr::Directory && entry.Name != "." &&
           entry.Name != "..";
}

// Depth-first listing shared by counting and walking: each subfolder is handled completely at the place
// of its entry, then the entry itself goes through the step. A folder already entered (reached again
// through a mount) is not listed twice, so every walk ends.
template <typename Step>
void Traverse(RunControls& controls, const std::string& folder, std::set<FileId>& visited, const Step& step)
{
    if (auto identity = IdentityOf(folder); identity && !visited.insert(*identity).second) {
        return;
    }
    DirListing listing(folder);
    DirEntry entry;
    for (unsigned listed = 1; listing.Next(entry); ++listed) {
        // Listing a huge tree takes a while; a window keeps answering meanwhile.
        if (listed % 256 == 0) {
            controls.KeepAlive();
        }
        if (ShouldEnter(controls, entry)) {
            Traverse(controls, JoinPath(folder, entry.Name), visited, step);
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
        PictureKind Kind = PictureKind::Jpeg;
        PictureSettings Settings;
        MemoryLease Lease;    // the picture's ticket, until it is prepared
        bool Counted = false; // the walk met this file as one of the counted pictures
        PreparedPicture Result;
        bool Taken = false;
        bool Done = false;
    };

    // Created and destroyed on the run's thread, which works in the run's picture memory meanwhile.
    Pipeline(int jobs, int64_t budget, const std::atomic<bool>* stop, decltype(ConversionRun::Preparer) preparer)
        : gate_(budget), scope_(&gate_.Pool()), preparer_(preparer)
    {
        const unsigned workers = Workers(jobs);
        options_.Stop = stop;
        if (workers > 1) {
            limit_ = workers * 3;
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
            done_.wait_for(lock, std::chrono::milliseconds(40));
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

    // Everything a preparation throws ends here: it becomes the run's error, never the end of the process.
    void Prepare(Task& task)
    {
        try {
            task.Result = preparer_(task.Path, task.Kind, task.Settings, std::move(task.Lease), options_);
        } catch (const std::bad_alloc&) {
            task.Result.Result = PreparedPicture::Outcome::LoadFailed;
            task.Result.Load = {LoadReason::OutOfMemory, {}};
        } catch (const std::exception& error) {
            task.Result.Result = PreparedPicture::Outcome::Failed;
            task.Result.ErrorText = error.what();
        } catch (...) {
            task.Result.Result = PreparedPicture::Outcome::Failed;
            task.Result.ErrorText = "Unknown error";
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
    PicturePoolScope scope_;
    std::deque<std::shared_ptr<Task>> tasks_; // in walk order, owned by the run's thread
    std::deque<std::shared_ptr<Task>> queue_; // not yet taken by a worker
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    size_t limit_ = 1;
    bool stopping_ = false;
    decltype(ConversionRun::Preparer) preparer_;
    PrepareOptions options_;
};

namespace {

// The tests of the boxes before anything else happens; false after showing the message of the first that
// fails.
bool InputsAccepted(RunControls& controls)
{
    static constexpr std::array<std::pair<std::string (RunControls::*)(), const char*>, 4> InputTests = {{
        {&RunControls::SourceText, "Не указан источник"},
        {&RunControls::ReceiverText, "Не указан приёмник"},
        {&RunControls::WidthText, "Не указана ширина"},
        {&RunControls::HeightText, "Не указана высота"},
    }};
    for (const auto& [text, message] : InputTests) {
        if ((controls.*text)().empty()) {
            controls.ShowMessage(message);
            return false;
        }
    }
    if (controls.StartFromNumber() && !TryStrToInt(controls.StartNumberText())) {
        controls.ShowMessage("Счётчик должен состоять из цифр");
        return false;
    }
    return true;
}

} // namespace

RunOutcome ConversionRun::StartCommand(RunControls& controls)
{
    if (!InputsAccepted(controls)) {
        return RunOutcome::Refused;
    }
    controls.RecordFolders();
    failedSaves_ = 0;
    written_.clear();
    replaced_.clear();
    counted_.clear();
    wroteAny_ = false;
    bool interrupted = false;
    try {
        CountPictures(controls, controls.SourceText());
        PrepareNumbering(controls);
        const int64_t budget = MemoryBudget > 0 ? MemoryBudget : DefaultMemoryBudget(Workers(Jobs));
        Pipeline pipeline(Jobs, budget, Stop, Preparer);
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
    // Counted pictures that this run replaced before the walk met them were never read.
    for (const auto& [identity, path] : replaced_) {
        Skip(controls, path, "не прочитан: заменён файлом, записанным этим запуском");
    }
    if (wroteAny_) {
        SyncFileSystem(controls.ReceiverText());
    }
    ReturnFreeMemory();
    Report(controls);
    Reset();
    controls.SetProgress(0);
    return interrupted ? RunOutcome::Interrupted : RunOutcome::Completed;
}

void ConversionRun::Report(RunControls& controls)
{
    RunReport report;
    report.TotalText = IntToStr(State.TotalFiles);
    report.ProcessedText = IntToStr(controls.StartFromNumber() ? State.LoadedFiles : State.FileNumber);
    report.SkippedText = IntToStr(static_cast<int64_t>(SkippedFiles.size()));
    report.Lines = SkippedFiles.empty() ? std::vector<std::string>{"Выполнено без ошибок"} : SkippedFiles;
    controls.SetProgress(100);
    controls.ShowReport(report);
}

void ConversionRun::Reset()
{
    State.ZeroPosition = 0;
    State.FileNumber = 0;
    State.LoadedFiles = 0;
    State.TotalFiles = 0;
    State.ZeroDropLevel = 0;
    SkippedFiles.clear();
}

void ConversionRun::CountPictures(RunControls& controls, const std::string& folder)
{
    std::set<FileId> visited;
    Traverse(controls, folder, visited, [this](const std::string&, const DirEntry& entry) {
        if (IsCountedPicture(Extension(entry.Name)) && State.TotalFiles < INT32_MAX) {
            ++State.TotalFiles;
        }
    });
    // Only a receiver inside the source tree can put this run's outputs in the walk's way; then the
    // counted pictures are told apart from them by identity.
    const auto receiver = IdentityOf(controls.ReceiverText());
    receiverInSource_ = receiver && visited.count(*receiver) != 0;
    if (receiverInSource_) {
        visited.clear();
        Traverse(controls, folder, visited, [this](const std::string& parent, const DirEntry& entry) {
            if (auto identity =
                    IsCountedPicture(Extension(entry.Name)) ? IdentityOf(JoinPath(parent, entry.Name)) : std::nullopt) {
                counted_.insert(*identity);
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
    const auto kind = PictureKindOf(Extension(entry.Name));
    if (!kind) {
        return;
    }
    auto task = std::make_shared<Pipeline::Task>();
    task->Path = JoinPath(folder, entry.Name);
    task->Kind = *kind;
    task->Settings = {controls.WidthText(), controls.HeightText(), controls.QualityText()};
    if (auto identity = receiverInSource_ ? IdentityOf(task->Path) : std::nullopt) {
        task->Counted = counted_.erase(*identity) != 0;
    }
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
    if (auto identity = receiverInSource_ ? IdentityOf(task->Path) : std::nullopt;
        identity && written_.count(*identity) != 0) {
        PassOwnOutput(controls, task->Path, task->Counted || replaced_.erase(*identity) != 0);
        return;
    }
    if (!task->Done) {
        pipeline.Prepare(*task);
        // A picture the interruption cut short is neither written nor listed.
        if (pipeline.Stopped()) {
            throw RunInterrupted{};
        }
    }
    FinishPicture(controls, task->Path, task->Result);
}

// An output of this run met by the walk. When it took the place of a counted picture before that was
// read, the picture is listed as skipped, so the report's numbers add up; a new file is passed over.
void ConversionRun::PassOwnOutput(RunControls& controls, const std::string& path, bool counted)
{
    if (counted) {
        Skip(controls, path, "не прочитан: заменён файлом, записанным этим запуском");
    } else {
        controls.FileSkipped(path, "записан этим запуском, не читается");
    }
}

void ConversionRun::Skip(RunControls& controls, const std::string& path, const std::string& reason)
{
    SkippedFiles.push_back(path);
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
    State.FileNumber = static_cast<int32_t>(static_cast<uint32_t>(State.FileNumber) + 1u);
    State.LoadedFiles = static_cast<int32_t>(static_cast<uint32_t>(State.LoadedFiles) + 1u);
    if (prepared.Result == Outcome::FitError) {
        throw EngineError(prepared.ErrorText);
    }
    SaveOutputPicture(controls, prepared);
    prepared.Lease.Reset();
}

void ConversionRun::PrepareNumbering(RunControls& controls)
{
    const bool ticked = controls.StartFromNumber();
    ::PrepareNumbering(State, controls.PreviewText(), ticked, ticked ? controls.StartNumberText() : std::string());
}

void ConversionRun::SaveOutputPicture(RunControls& controls, const PreparedPicture& prepared)
{
    const std::string path = JoinPath(controls.ReceiverText(), NumberedFileName(State));
    const std::optional<FileId> before = receiverInSource_ ? IdentityOf(path) : std::nullopt;
    if (prepared.Result != PreparedPicture::Outcome::Encoded || !Writer(path, prepared.Jpeg)) {
        ++failedSaves_;
        controls.ShowMessage("Проверьте директорию: " + controls.ReceiverText());
        return;
    }
    wroteAny_ = true;
    if (auto identity = receiverInSource_ ? IdentityOf(path) : std::nullopt) {
        written_.insert(*identity);
        if (before && counted_.erase(*before) != 0) {
            replaced_[*identity] = path;
        }
    }
    UpdateProgress(controls);
}

void ConversionRun::UpdateProgress(RunControls& controls)
{
    const int64_t done = controls.StartFromNumber() ? State.LoadedFiles : State.FileNumber;
    // More pictures than were counted (added during the run) show as a full gauge.
    const int64_t percent = State.TotalFiles > 0 ? done * 100 / State.TotalFiles : 100;
    controls.SetProgress(static_cast<int32_t>(std::clamp<int64_t>(percent, 0, 100)));
}
