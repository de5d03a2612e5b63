#include "conversion/Conversion.h"
#include "conversion/Naming.h"
#include "conversion/OwnOutputs.h"
#include "conversion/Pipeline.h"
#include "conversion/RunSeams.h"
#include "picture/Formats.h"
#include "platform/DirList.h"
#include "platform/EngineError.h"
#include "platform/File.h"
#include "platform/Limits.h"
#include "platform/System.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <memory>
#include <set>
#include <thread>

namespace quorvane {

namespace {

// A window is kept answering after this many entries of a long listing.
constexpr unsigned ListedPerKeepAlive = 256;

// Depth-first listing shared by counting and walking: each subfolder is handled completely at the place
// of its entry, then the entry itself goes through the step. A folder already entered (reached again
// through a mount) is not listed twice, so every walk ends.
// `tell`: a folder that cannot be listed, and one that is not entered, is told to the controls.
template <typename Step>
void Traverse(RunControls& controls, const std::string& folder, std::set<FileId>& visited, const Step& step,
              bool tell = false)
{
    if (auto identity = IdentityOf(folder); identity && !visited.insert(*identity).second) {
        return;
    }
    DirListing listing(folder);
    if (!listing.IsOpen() && tell) {
        controls.FolderUnreadable(folder, listing.Error());
    }
    DirEntry entry;
    for (unsigned listed = 1; listing.Next(entry); ++listed) {
        // Listing a huge tree takes a while; a window keeps answering meanwhile.
        if (listed % ListedPerKeepAlive == 0) {
            controls.KeepAlive();
        }
        if (controls.IncludeSubfolders()) {
            const FolderEntry kind = FolderEntryOf(entry);
            if (kind == FolderEntry::Enter) {
                Traverse(controls, JoinPath(folder, entry.Name), visited, step, tell);
            } else if (kind != FolderEntry::NotFolder && tell) {
                controls.FolderNotEntered(JoinPath(folder, entry.Name), kind == FolderEntry::Hidden
                                                                            ? MessageId::FolderHiddenNotEntered
                                                                            : MessageId::FolderLinkNotEntered);
            }
        }
        step(folder, entry);
    }
}

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
    controls.ShowMessage(
        {MessageId::TargetSizeOutOfRange,
         {Message::Plain(IntToStr(*width) + "×" + IntToStr(*height)), Message::Plain(std::to_string(MaxTargetSide)),
          Message::Plain(std::to_string(MaxTargetPixels))}});
    return false;
}

using InputTest = std::pair<std::string (RunControls::*)(), MessageId>;
constexpr InputTest SourceGiven = {&RunControls::SourceText, MessageId::NoSource};
constexpr InputTest ReceiverGiven = {&RunControls::ReceiverText, MessageId::NoReceiver};
constexpr InputTest WidthGiven = {&RunControls::WidthText, MessageId::NoWidth};
constexpr InputTest HeightGiven = {&RunControls::HeightText, MessageId::NoHeight};

// Whether each box of the tests holds a text, in order; false after showing the message of the first empty.
bool TextsGiven(RunControls& controls, std::initializer_list<InputTest> tests)
{
    for (const auto& [text, message] : tests) {
        if ((controls.*text)().empty()) {
            controls.ShowMessage(message);
            return false;
        }
    }
    return true;
}

// The tests of the boxes before anything else happens; false after showing the message of the first that
// fails.
bool InputsAccepted(RunControls& controls)
{
    if (!TextsGiven(controls, {SourceGiven, ReceiverGiven, WidthGiven, HeightGiven})) {
        return false;
    }
    if (controls.StartFromNumber() && !TryStrToInt(controls.StartNumberText())) {
        controls.ShowMessage(MessageId::StartNumberNotDigits);
        return false;
    }
    // Nothing could be written into a receiver that is not a folder: one message, and no run.
    if (const std::string receiver = controls.ReceiverText(); !IsFolder(receiver)) {
        controls.ShowMessage({MessageId::CheckFolder, receiver});
        return false;
    }
    return TargetSizeAccepted(controls);
}

// The tests of the boxes a listing reads; false after showing the message of the first that fails.
bool ListInputsAccepted(RunControls& controls)
{
    return TextsGiven(controls, {SourceGiven, WidthGiven, HeightGiven}) && TargetSizeAccepted(controls);
}

// The part of a picture of `width` x `height` that the plan keeps, in the picture's pixels: the window's
// ends on the cropped side mapped back through the resample, widened to whole pixels (all of it when the
// picture is stretched).
void PlaceKeptPart(const FitPlan& plan, int32_t width, int32_t height, ListedPicture& listed)
{
    listed.Width = width;
    listed.Height = height;
    const int64_t side = plan.CropWidth ? width : height;
    const int64_t length = plan.CropWidth ? plan.W : plan.H;
    const int64_t begin = plan.CropWidth ? plan.Left : plan.Top;
    const int64_t end = begin + (plan.CropWidth ? plan.Width : plan.Height);
    const int64_t first = begin * side / length;
    const int64_t last = std::min(side, (end * side + length - 1) / length);
    (plan.CropWidth ? listed.Left : listed.Top) = first;
    (plan.CropWidth ? listed.Width : listed.Height) = last - first;
}

} // namespace

class ConversionRun::Impl {
  public:
    Impl(const RunOptions& options, const RunSeams& seams) : options_(options), seams_(seams) {}

    RunOutcome StartCommand(RunControls& controls);
    RunOutcome ListCommand(RunControls& controls, const std::function<void(const ListedPicture&)>& listed);

    RunState state_;
    std::vector<SkippedFile> skippedFiles_;
    int32_t failedSaves_ = 0;
    int64_t peakLeased_ = 0;
    int colourProfilesRead_ = 0;

  private:
    // An output that would replace a counted picture not read yet: complete under its temporary name
    // until that picture has been read.
    struct PendingOutput {
        std::string Name;
        StagedFile File;
    };

    bool Convert(RunControls& controls);
    void CountPictures(RunControls& controls, const std::string& folder);
    void WalkFolder(RunControls& controls, Pipeline& pipeline, const std::string& folder);
    void ProcessFile(RunControls& controls, Pipeline& pipeline, const std::string& folder, const DirEntry& entry);
    void FinishOldest(RunControls& controls, Pipeline& pipeline);
    void FinishPicture(RunControls& controls, const std::string& path, PreparedPicture& prepared);
    void SaveOutputPicture(RunControls& controls, const PreparedPicture& prepared);
    void PlacePending(RunControls& controls, bool walkEnded);
    void SaveFailed(RunControls& controls, const std::string& name, const std::string& path, const Message& reason);
    int64_t Processed(RunControls& controls) const;
    void UpdateProgress(RunControls& controls);
    void Skip(RunControls& controls, const std::string& path, const Message& reason);
    void Report(RunControls& controls, bool interrupted);
    void Reset();

    RunOptions options_;
    RunSeams seams_;
    std::vector<UnwrittenFile> unwritten_; // in the order they became known
    std::vector<SkippedFile> warnings_;    // in walk order
    std::vector<PendingOutput> pending_;
    bool wroteAny_ = false;
    bool toldFolderFault_ = false;
    FormatSet formats_; // read once per run, so the count and the walk agree
    OwnOutputs ownOutputs_;
    std::set<FileId> visitedDirs_; // folders entered, so no cycle is walked twice
};

ConversionRun::ConversionRun(const RunOptions& options) : ConversionRun(options, RunSeams{}) {}

ConversionRun::ConversionRun(const RunOptions& options, const RunSeams& seams)
    : impl_(std::make_unique<Impl>(options, seams))
{
}

ConversionRun::~ConversionRun() = default;

RunOutcome ConversionRun::StartCommand(RunControls& controls)
{
    return impl_->StartCommand(controls);
}

RunOutcome ConversionRun::ListCommand(RunControls& controls, const std::function<void(const ListedPicture&)>& listed)
{
    return impl_->ListCommand(controls, listed);
}

const RunState& ConversionRun::State() const
{
    return impl_->state_;
}

const std::vector<SkippedFile>& ConversionRun::SkippedFiles() const
{
    return impl_->skippedFiles_;
}

int32_t ConversionRun::FailedSaves() const
{
    return impl_->failedSaves_;
}

int64_t ConversionRun::PeakLeasedBytes() const
{
    return impl_->peakLeased_;
}

int ConversionRun::ColourProfilesRead() const
{
    return impl_->colourProfilesRead_;
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

RunOutcome ConversionRun::Impl::ListCommand(RunControls& controls,
                                            const std::function<void(const ListedPicture&)>& listed)
{
    if (!ListInputsAccepted(controls)) {
        return RunOutcome::Refused;
    }
    formats_ = controls.Formats();
    std::set<FileId> visited;
    try {
        Traverse(
            controls, controls.SourceText(), visited,
            [&](const std::string& parent, const DirEntry& entry) {
                const auto format = FormatOfName(entry.Name, formats_);
                if (!format) {
                    return;
                }
                if (options_.Stop != nullptr && options_.Stop->load()) {
                    throw RunInterrupted{};
                }
                ListedPicture picture;
                picture.Path = JoinPath(parent, entry.Name);
                picture.Format = *format;
                picture.Crop = controls.CropOf(picture.Path);
                int32_t width = 0;
                int32_t height = 0;
                if (ReadPictureSize(picture.Path, *format, width, height, picture.Why)) {
                    TargetSize target;
                    std::string error;
                    if (!ReadTarget({controls.WidthText(), controls.HeightText(), ""}, target, error)) {
                        throw EngineError(error);
                    }
                    if (width <= 0 || height <= 0) {
                        throw EngineError("Division by zero");
                    }
                    picture.PictureWidth = width;
                    picture.PictureHeight = height;
                    picture.Crop =
                        ResolveCrop(picture.Path, *format, picture.Crop, width, height, target, options_.Stop);
                    PlaceKeptPart(PlanFit(width, height, target.Width, target.Height, picture.Crop), width, height,
                                  picture);
                }
                listed(picture);
            },
            true);
    } catch (const RunInterrupted&) {
        return RunOutcome::Interrupted;
    }
    return RunOutcome::Completed;
}

RunOutcome ConversionRun::Impl::StartCommand(RunControls& controls)
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
    toldFolderFault_ = false;
    unwritten_.clear();
    warnings_.clear();
    wroteAny_ = false;
    bool interrupted = false;
    std::exception_ptr error;
    try {
        interrupted = Convert(controls);
    } catch (...) {
        error = std::current_exception();
    }
    // However the run ended: what it wrote reaches the disk, its memory goes back, and unlike a bare
    // run, a run ended by an error still starts the next one from zero.
    pending_.clear();
    if (wroteAny_) {
        SyncFileSystem(controls.ReceiverText());
    }
    ReturnFreeMemory();
    if (!error) {
        Report(controls, interrupted);
    }
    Reset();
    controls.SetProgress(0);
    if (error) {
        std::rethrow_exception(error);
    }
    return interrupted ? RunOutcome::Interrupted : RunOutcome::Completed;
}

// Counts, numbers and walks; true when the run was stopped.
bool ConversionRun::Impl::Convert(RunControls& controls)
{
    CountPictures(controls, controls.SourceText());
    const bool ticked = controls.StartFromNumber();
    PrepareNumbering(state_, controls.PreviewText(), ticked, ticked ? controls.StartNumberText() : std::string());
    const unsigned workers = Workers(options_.Jobs);
    const int64_t budget = options_.MemoryBudget > 0 ? options_.MemoryBudget : DefaultMemoryBudget(workers);
    Pipeline pipeline(workers, budget, options_.Stop, seams_.Preparer);
    visitedDirs_.clear();
    bool interrupted = false;
    try {
        WalkFolder(controls, pipeline, controls.SourceText());
        while (!pipeline.Empty()) {
            FinishOldest(controls, pipeline);
        }
    } catch (const RunInterrupted&) {
        interrupted = true;
    }
    PlacePending(controls, true);
    peakLeased_ = pipeline.Peak();
    colourProfilesRead_ = pipeline.ColourProfilesRead();
    return interrupted;
}

int64_t ConversionRun::Impl::Processed(RunControls& controls) const
{
    return controls.StartFromNumber() ? state_.LoadedFiles : state_.FileNumber;
}

void ConversionRun::Impl::Report(RunControls& controls, bool interrupted)
{
    RunReport report;
    const int64_t processed = Processed(controls);
    const auto skipped = static_cast<int64_t>(skippedFiles_.size());
    report.Formats = formats_;
    report.TotalText = IntToStr(state_.TotalFiles);
    report.ProcessedText = IntToStr(processed);
    report.SkippedText = IntToStr(skipped);
    report.Files = skippedFiles_;
    report.Unwritten = unwritten_;
    report.Warnings = warnings_;
    report.Interrupted = interrupted;
    // A stopped run keeps the total it counted and its gauge where it stopped.
    report.NotDone = std::max<int64_t>(0, int64_t{state_.TotalFiles} - state_.LoadedFiles - skipped);
    if (!interrupted) {
        controls.SetProgress(100);
    }
    controls.ShowReport(report);
}

void ConversionRun::Impl::Reset()
{
    state_.ZeroPosition = 0;
    state_.FileNumber = 0;
    state_.LoadedFiles = 0;
    state_.TotalFiles = 0;
    state_.ZeroDropLevel = 0;
    skippedFiles_.clear();
}

void ConversionRun::Impl::CountPictures(RunControls& controls, const std::string& folder)
{
    formats_ = controls.Formats();
    std::set<FileId> visited;
    Traverse(
        controls, folder, visited,
        [this](const std::string&, const DirEntry& entry) {
            if (FormatOfName(entry.Name, formats_) && state_.TotalFiles < INT32_MAX) {
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
            if (FormatOfName(entry.Name, formats_)) {
                ownOutputs_.Count(JoinPath(parent, entry.Name));
            }
        });
    }
}

void ConversionRun::Impl::WalkFolder(RunControls& controls, Pipeline& pipeline, const std::string& folder)
{
    Traverse(controls, folder, visitedDirs_,
             [&](const std::string& parent, const DirEntry& entry) { ProcessFile(controls, pipeline, parent, entry); });
}

void ConversionRun::Impl::ProcessFile(RunControls& controls, Pipeline& pipeline, const std::string& folder,
                                      const DirEntry& entry)
{
    if (pipeline.Stopped()) {
        throw RunInterrupted{};
    }
    const auto format = FormatOfName(entry.Name, formats_);
    if (!format) {
        return;
    }
    auto task = std::make_shared<Pipeline::Task>();
    task->Path = JoinPath(folder, entry.Name);
    task->Format = *format;
    task->Settings = {controls.WidthText(), controls.HeightText(), controls.QualityText(), controls.CropOf(task->Path)};
    pipeline.Submit(std::move(task));
    // One at a time, each picture is finished before the next entry is read; in parallel a bounded number
    // of pictures is prepared ahead.
    while (!pipeline.Empty() && (!pipeline.Parallel() || pipeline.Full())) {
        FinishOldest(controls, pipeline);
    }
}

void ConversionRun::Impl::FinishOldest(RunControls& controls, Pipeline& pipeline)
{
    auto task = pipeline.TakeOldest(controls);
    controls.KeepAlive();
    if (pipeline.Stopped()) {
        throw RunInterrupted{};
    }
    // A file this run has written (a receiver inside the source tree) is never read back as a source.
    if (ownOutputs_.IsOutput(task->Path)) {
        controls.FileSkipped(task->Path, MessageId::OwnOutputNotRead);
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
    PlacePending(controls, false);
    FinishPicture(controls, task->Path, task->Result);
}

void ConversionRun::Impl::Skip(RunControls& controls, const std::string& path, const Message& reason)
{
    skippedFiles_.push_back({path, reason});
    controls.FileSkipped(path, reason);
}

void ConversionRun::Impl::FinishPicture(RunControls& controls, const std::string& path, PreparedPicture& prepared)
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
    for (const Message& warning : prepared.Warnings) {
        warnings_.push_back({path, warning});
        controls.FileWarning(path, warning);
    }
    SaveOutputPicture(controls, prepared);
    prepared.Lease.Reset();
}

void ConversionRun::Impl::SaveOutputPicture(RunControls& controls, const PreparedPicture& prepared)
{
    const std::string name = NumberedFileName(state_);
    const std::string path = JoinPath(controls.ReceiverText(), name);
    WriteResult written;
    if (prepared.Result != PreparedPicture::Outcome::Encoded) {
        written.Reason = MessageId::EncodeFailed;
    } else if (ownOutputs_.WouldReplaceUnread(path)) {
        // A photo of the source named like this output, not converted yet, keeps its bytes until it has been
        // read; the output waits complete beside it.
        if (StagedFile staged = StagedFile::Write(path, prepared.Jpeg, written)) {
            pending_.push_back({name, std::move(staged)});
            UpdateProgress(controls);
            return;
        }
    } else {
        written = seams_.Writer(path, prepared.Jpeg);
    }
    if (!written) {
        SaveFailed(controls, name, path, written.Reason);
        return;
    }
    wroteAny_ = true;
    ownOutputs_.Written(path);
    UpdateProgress(controls);
}

// Moves the waiting outputs whose photo has been read into place; once the walk has ended, one whose photo
// was never read is a failed save (the photo keeps its bytes).
void ConversionRun::Impl::PlacePending(RunControls& controls, bool walkEnded)
{
    for (auto it = pending_.begin(); it != pending_.end();) {
        const std::string path = it->File.Target();
        if (ownOutputs_.WouldReplaceUnread(path)) {
            if (!walkEnded) {
                ++it;
                continue;
            }
            SaveFailed(controls, it->Name, path, MessageId::UnreadPhotoInPlace);
        } else if (const WriteResult placed = it->File.Place(); !placed) {
            SaveFailed(controls, it->Name, path, placed.Reason);
        } else {
            wroteAny_ = true;
            ownOutputs_.Written(path);
        }
        it = pending_.erase(it);
    }
}

// A failed save counts as processed. A fault of the receiver shows its message at the first of a run only;
// the report lists every output that was not written.
void ConversionRun::Impl::SaveFailed(RunControls& controls, const std::string& name, const std::string& path,
                                     const Message& reason)
{
    if (reason.Id != MessageId::UnreadPhotoInPlace && !toldFolderFault_) {
        toldFolderFault_ = true;
        controls.ShowMessage({MessageId::CheckFolder, controls.ReceiverText()});
    }
    ++failedSaves_;
    unwritten_.push_back({name, reason});
    controls.OutputNotWritten(path, {MessageId::NotWritten, std::vector<Message>{reason}});
}

void ConversionRun::Impl::UpdateProgress(RunControls& controls)
{
    // More pictures than were counted (added during the run) show as a full gauge.
    const int64_t percent = state_.TotalFiles > 0 ? Processed(controls) * 100 / state_.TotalFiles : 100;
    controls.SetProgress(static_cast<int32_t>(std::clamp<int64_t>(percent, 0, 100)));
}

} // namespace quorvane
