#include "conversion/Run.h"

#include "conversion/MemoryGate.h"
#include "conversion/Naming.h"
#include "platform/EngineError.h"
#include "platform/IntConv.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

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

std::optional<std::pair<uint64_t, uint64_t>> FileIdentity(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return std::pair<uint64_t, uint64_t>{info.st_dev, info.st_ino};
}

bool ShouldEnter(RunControls& controls, const DirEntry& entry)
{
    return controls.IncludeSubfolders() && entry.Attributes == Attr::Directory && entry.Name != "." &&
           entry.Name != "..";
}

// Depth-first listing shared by counting and walking: each subfolder is handled completely at the place
// of its entry, then the entry itself goes through the step. A folder already entered (reached again
// through a mount) is not listed twice, so every walk ends.
template <typename Step>
void Traverse(RunControls& controls, const std::string& folder, std::set<std::pair<uint64_t, uint64_t>>& visited,
              const Step& step)
{
    if (auto identity = FileIdentity(folder); identity && !visited.insert(*identity).second) {
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

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes)
{
    const size_t slash = path.rfind(PathSeparator);
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    static unsigned counter = 0;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + ".quorvane-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".tmp";
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            break;
        }
        done += static_cast<size_t>(wrote);
    }
    const bool closed = close(fd) == 0;
    if (done != bytes.size() || !closed || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

// Memory that the pictures prepared at the same time may hold together.
constexpr int64_t RunMemoryBudget = int64_t{104} << 20;

// Prepares pictures on worker threads ahead of the walk while the run takes the results strictly in
// the order they were handed in. With one job everything happens on the caller's thread, one at a time.
class ConversionRun::Pipeline {
  public:
    struct Task {
        std::string Path;
        PictureKind Kind = PictureKind::Jpeg;
        PictureSettings Settings;
        PreparedPicture Result;
        bool Taken = false;
        bool Done = false;
    };

    explicit Pipeline(int jobs)
    {
#ifdef __GLIBC__
        // Workers free large picture buffers that another worker could use next; with one arena they do,
        // instead of each thread keeping its own freed memory.
        static const bool oneArena = mallopt(M_ARENA_MAX, 1) != 0;
        (void)oneArena;
#endif
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        // Even on one core a worker keeps the caller free to answer its window while a picture decodes.
        const unsigned workers = jobs > 0 ? static_cast<unsigned>(jobs) : std::max(2u, cores);
        if (workers > 1) {
            limit_ = workers * 3;
            for (unsigned i = 0; i < workers; ++i) {
                try {
                    threads_.emplace_back([this] { Work(); });
                } catch (const std::system_error&) {
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

    bool Parallel() const
    {
        return !threads_.empty();
    }
    MemoryGate* Gate()
    {
        return &gate_;
    }
    bool Full() const
    {
        return tasks_.size() >= limit_;
    }
    bool Empty() const
    {
        return tasks_.empty();
    }

    void Submit(std::shared_ptr<Task> task)
    {
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
                lock.lock();
            }
        }
        return task;
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
            PreparedPicture result =
                PreparePicture(task->Path, task->Kind, task->Settings, DecodePath::Streaming, &gate_);
            lock.lock();
            task->Result = std::move(result);
            task->Done = true;
            done_.notify_all();
        }
    }

    std::deque<std::shared_ptr<Task>> tasks_; // in walk order, owned by the run's thread
    std::deque<std::shared_ptr<Task>> queue_; // not yet taken by a worker
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    size_t limit_ = 1;
    bool stopping_ = false;
    MemoryGate gate_{RunMemoryBudget};
};

RunOutcome ConversionRun::StartCommand(RunControls& controls)
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
            return RunOutcome::Refused;
        }
    }
    if (controls.StartFromNumber() && !TryStrToInt(controls.StartNumberText())) {
        controls.ShowMessage("Счётчик должен состоять из цифр");
        return RunOutcome::Refused;
    }

    controls.RecordFolders();
    failedSaves_ = 0;
    written_.clear();
    try {
        CountPictures(controls, controls.SourceText());
        PrepareNumbering(controls);
        Pipeline pipeline(Jobs);
        visitedDirs_.clear();
        WalkFolder(controls, pipeline, controls.SourceText());
        while (!pipeline.Empty()) {
            FinishOldest(controls, pipeline);
        }
    } catch (...) {
        // Unlike a bare run, a run ended by an error still starts the next one from zero.
        Reset();
        controls.SetProgress(0);
        throw;
    }

    RunReport report;
    report.TotalText = IntToStr(State.TotalFiles);
    report.ProcessedText = IntToStr(controls.StartFromNumber() ? State.LoadedFiles : State.FileNumber);
    report.SkippedText = IntToStr(static_cast<int64_t>(SkippedFiles.size()));
    report.Lines = SkippedFiles.empty() ? std::vector<std::string>{"Выполнено без ошибок"} : SkippedFiles;
    controls.SetProgress(100);
    controls.ShowReport(report);
    Reset();
    controls.SetProgress(0);
    return RunOutcome::Completed;
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
    std::set<std::pair<uint64_t, uint64_t>> visited;
    Traverse(controls, folder, visited, [this](const std::string&, const DirEntry& entry) {
        if (IsCountedPicture(Extension(entry.Name)) && State.TotalFiles < INT32_MAX) {
            ++State.TotalFiles;
        }
    });
}

void ConversionRun::WalkFolder(RunControls& controls, Pipeline& pipeline, const std::string& folder)
{
    Traverse(controls, folder, visitedDirs_,
             [&](const std::string& parent, const DirEntry& entry) { ProcessFile(controls, pipeline, parent, entry); });
}

void ConversionRun::ProcessFile(RunControls& controls, Pipeline& pipeline, const std::string& folder,
                                const DirEntry& entry)
{
    const auto kind = PictureKindOf(Extension(entry.Name));
    if (!kind) {
        return;
    }
    auto task = std::make_shared<Pipeline::Task>();
    task->Path = JoinPath(folder, entry.Name);
    task->Kind = *kind;
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
    // A file this run has written (a receiver inside the source tree) is never read back as a source.
    if (IsOwnOutput(task->Path)) {
        return;
    }
    if (!task->Done) {
        task->Result = PreparePicture(task->Path, task->Kind, task->Settings, DecodePath::Streaming, pipeline.Gate());
    }
    FinishPicture(controls, task->Path, task->Result);
}

bool ConversionRun::IsOwnOutput(const std::string& path) const
{
    if (written_.empty()) {
        return false;
    }
    auto identity = FileIdentity(path);
    return identity && written_.count(*identity) != 0;
}

void ConversionRun::FinishPicture(RunControls& controls, const std::string& path, PreparedPicture& prepared)
{
    using Outcome = PreparedPicture::Outcome;
    switch (prepared.Result) {
    case Outcome::LoadFailed:
        SkippedFiles.push_back(path);
        return;
    case Outcome::SizeError:
        throw EngineError(prepared.ErrorText);
    default:
        break;
    }
    // Counters wrap like the 32-bit originals instead of overflowing.
    State.FileNumber = static_cast<int32_t>(static_cast<uint32_t>(State.FileNumber) + 1u);
    State.LoadedFiles = static_cast<int32_t>(static_cast<uint32_t>(State.LoadedFiles) + 1u);
    if (prepared.Result == Outcome::FitError) {
        throw EngineError(prepared.ErrorText);
    }
    SaveOutputPicture(controls, prepared);
}

void ConversionRun::PrepareNumbering(RunControls& controls)
{
    const bool ticked = controls.StartFromNumber();
    ::PrepareNumbering(State, controls.PreviewText(), ticked, ticked ? controls.StartNumberText() : std::string());
}

void ConversionRun::SaveOutputPicture(RunControls& controls, const PreparedPicture& prepared)
{
    const std::string path = JoinPath(controls.ReceiverText(), NumberedFileName(State));
    if (prepared.Result != PreparedPicture::Outcome::Encoded || !Writer(path, prepared.Jpeg)) {
        ++failedSaves_;
        controls.ShowMessage("Проверьте директорию: " + controls.ReceiverText());
        return;
    }
    if (auto identity = FileIdentity(path)) {
        written_.insert(*identity);
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
