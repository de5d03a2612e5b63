#include "cli/Cli.h"

#include "QuorvaneVersion.h"
#include "conversion/Conversion.h"
#include "conversion/Naming.h"
#include "platform/File.h"
#include "platform/System.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>

using namespace quorvane;

namespace {

// The help, with examples in the system's own path form.
std::string Usage(Language language)
{
    return MessageText(
        {MessageId::CliUsage,
         {Message::Plain(ExamplePathUnderHome("Photos")), Message::Plain(ExamplePathUnderHome("Wallpapers"))}},
        language);
}

struct Options {
    std::map<std::string, std::string> Values;
    bool NoSubfolders = false;
    bool Help = false;
    bool Version = false;
    bool Verbose = false;
    bool AllFormats = false;
    bool ListCrops = false;
    FormatSet Formats = FormatSet::Defined();
    CropPosition Crop;
    // The positions of single pictures, by their path as the report writes it.
    std::map<std::string, CropPosition> Crops;
    int Jobs = 0;
    int64_t MemoryMiB = 0;
};

// A name as one readable line: control characters, and the Unicode line and paragraph separators, are
// written as escapes (\n, \t, \x1b, \u2028), so no file name can split a line or steer the terminal.
std::string Escaped(const std::string& text)
{
    std::string line;
    char escape[8];
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = [&](size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0; };
        if (c == '\n' || c == '\r' || c == '\t') {
            line += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            line += escape;
        } else if (c == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) { // a C1 control in UTF-8
            std::snprintf(escape, sizeof escape, "\\x%02x", next(1));
            line += escape;
            ++i;
        } else if (c == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) {
            line += next(2) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            line += static_cast<char>(c);
        }
    }
    return line;
}

// The options that take no value.
bool* Flag(Options& options, const std::string& name)
{
    if (name == "help") {
        return &options.Help;
    }
    if (name == "version") {
        return &options.Version;
    }
    if (name == "verbose") {
        return &options.Verbose;
    }
    if (name == "all-formats") {
        return &options.AllFormats;
    }
    if (name == "list-crops") {
        return &options.ListCrops;
    }
    return name == "no-subfolders" ? &options.NoSubfolders : nullptr;
}

// A whole-number option within [low, high]; why not otherwise.
std::optional<Message> NumberOption(const Options& options, const char* name, int low, int high, int& to)
{
    auto it = options.Values.find(name);
    if (it == options.Values.end()) {
        return std::nullopt;
    }
    const auto number = TryStrToInt(it->second);
    if (!number || *number < low || *number > high) {
        return Message(MessageId::CliNumberRange, {Message::Plain(name), Message::Plain(std::to_string(low)),
                                                   Message::Plain(std::to_string(high))});
    }
    to = *number;
    return std::nullopt;
}

// Parses the arguments; why not when they are malformed.
std::optional<Message> Parse(const std::vector<std::string>& args, Options& options)
{
    static const char* const Valued[] = {"source", "receiver", "width",  "height",  "quality", "prefix",   "digits",
                                         "start",  "jobs",     "memory", "formats", "crop",    "crop-file"};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            return Message(MessageId::CliUnexpectedArgument, arg);
        }
        std::string name = arg.substr(2);
        std::optional<std::string> value;
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (bool* flag = Flag(options, name)) {
            if (value) {
                return Message(MessageId::CliTakesNoValue, name);
            }
            *flag = true;
            continue;
        }
        if (std::find(std::begin(Valued), std::end(Valued), name) == std::end(Valued)) {
            return Message(MessageId::CliUnknownOption, name);
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                return Message(MessageId::CliMissingValue, name);
            }
            value = args[++i];
        }
        options.Values[name] = *value;
    }
    int memory = 0;
    if (auto problem = NumberOption(options, "jobs", 1, 256, options.Jobs)) {
        return problem;
    }
    if (auto problem = NumberOption(options, "memory", 16, 1 << 20, memory)) {
        return problem;
    }
    options.MemoryMiB = memory;
    if (auto it = options.Values.find("formats"); it != options.Values.end()) {
        std::string unknown;
        const auto formats = ParseFormatList(it->second, &unknown);
        if (!formats) {
            return Message(MessageId::CliUnknownFormat,
                           {Message::Plain(unknown), Message::Plain("jpeg, bmp, heic, avif, webp, png")});
        }
        options.Formats = *formats;
    }
    if (options.AllFormats) {
        options.Formats = FormatSet::All();
    }
    if (auto it = options.Values.find("crop"); it != options.Values.end()) {
        const auto crop = ParseCropPosition(it->second);
        if (!crop) {
            return Message(MessageId::CliCropValue);
        }
        options.Crop = *crop;
    }
    return std::nullopt;
}

// The crop file's lines, each a position, one space and a picture's path to the end of the line; empty lines
// and lines that begin with '#' say nothing. Why not when the file cannot be read or a line is malformed.
std::optional<Message> ReadCropFile(const std::string& path, std::map<std::string, CropPosition>& crops)
{
    constexpr uint64_t MaxCropFileBytes = uint64_t{64} << 20;
    const std::optional<std::string> text = ReadRegularFile(path, MaxCropFileBytes);
    if (!text) {
        return Message(MessageId::CliCropFileUnreadable, Escaped(path));
    }
    size_t start = text->compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; // a byte-order mark
    for (size_t number = 1; start < text->size(); ++number) {
        size_t end = text->find('\n', start);
        end = end == std::string::npos ? text->size() : end;
        std::string_view line(text->data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const size_t space = line.find(' ');
        const auto crop = space == std::string_view::npos ? std::nullopt : ParseCropPosition(line.substr(0, space));
        if (!crop || space + 1 >= line.size()) {
            return Message(MessageId::CliCropFileLine,
                           {Message::Plain(Escaped(path)), Message::Plain(std::to_string(number))});
        }
        crops[std::string(line.substr(space + 1))] = *crop;
    }
    return std::nullopt;
}

// The window's boxes, filled from the command line.
class CliControls : public RunControls {
  public:
    CliControls(const Options& options, std::ostream& out, std::ostream& err, bool progress, Language language)
        : out_(out), err_(err), progress_(progress), verbose_(options.Verbose), language_(language)
    {
        auto text = [&](const char* name, const char* fallback) {
            auto it = options.Values.find(name);
            return it == options.Values.end() ? std::string(fallback) : it->second;
        };
        source_ = text("source", "");
        receiver_ = text("receiver", "");
        width_ = text("width", "");
        height_ = text("height", "");
        start_ = text("start", "");
        startTicked_ = options.Values.count("start") != 0;
        includeSubfolders_ = !options.NoSubfolders;
        formats_ = options.Formats;
        crop_ = options.Crop;
        crops_ = &options.Crops;
        // The quality box never holds a non-number: the window puts the default back.
        quality_ = text("quality", DefaultQualityText);
        if (!TryStrToInt(quality_)) {
            quality_ = DefaultQualityText;
        }
        // The preview settles the way the window's digit-count box does.
        const std::string prefix = text("prefix", DefaultPrefixText);
        std::string digits = text("digits", DefaultDigitCountText);
        for (;;) {
            NamePreview preview = ComputeNamePreview(prefix, digits);
            if (preview.Caption) {
                preview_ = *preview.Caption;
                break;
            }
            digits = *preview.DigitCountText;
        }
    }

    std::string SourceText() override { return source_; }
    std::string ReceiverText() override { return receiver_; }
    std::string WidthText() override { return width_; }
    std::string HeightText() override { return height_; }
    std::string StartNumberText() override { return start_; }
    std::string QualityText() override { return quality_; }
    std::string PreviewText() override { return preview_; }
    bool IncludeSubfolders() override { return includeSubfolders_; }
    bool StartFromNumber() override { return startTicked_; }
    FormatSet Formats() override { return formats_; }
    CropPosition CropOf(const std::string& path) override
    {
        const auto found = crops_->find(Escaped(path));
        return found == crops_->end() ? crop_ : found->second;
    }

    // The percentage line on a terminal only ever rises: the gauge's resets to 0 (after the report, or
    // when an error ends the run) are not drawn, and nothing is drawn once the report is out.
    void SetProgress(int32_t percent) override
    {
        if (progress_ && !reported_ && percent > std::max(shown_, 0)) {
            shown_ = percent;
            err_ << '\r' << percent << '%' << std::flush;
            lineOpen_ = true;
        }
    }

    void FileSkipped(const std::string& path, const Message& reason) override
    {
        if (verbose_) {
            EndProgressLine();
            err_ << Escaped(path) << ": " << Text(reason) << '\n' << std::flush;
        }
    }

    void FileWarning(const std::string& path, const Message& text) override { FileSkipped(path, text); }
    void OutputNotWritten(const std::string& path, const Message& reason) override { FileSkipped(path, reason); }
    void FolderNotEntered(const std::string& folder, const Message& why) override { FileSkipped(folder, why); }

    // The source itself unreadable ends the command with an error (the run is refused: no report); a
    // subfolder is named on --verbose and makes the exit status 1.
    void FolderUnreadable(const std::string& folder, const Message& reason) override
    {
        if (folder == source_) {
            sourceError_ = reason;
            return;
        }
        unreadableFolders_ = true;
        FileSkipped(folder, reason);
    }
    const std::optional<Message>& SourceError() const { return sourceError_; }
    bool UnreadableFolders() const { return unreadableFolders_; }

    void ShowMessage(const Message& message) override
    {
        EndProgressLine();
        err_ << Text(message) << '\n' << std::flush;
    }

    // A line of the tool's own, "quorvane-cli: ...".
    void ShowProblem(const Message& message)
    {
        EndProgressLine();
        err_ << "quorvane-cli: " << Text(message) << '\n' << std::flush;
    }

    void ShowError(const std::string& text)
    {
        EndProgressLine();
        err_ << ErrorBoxText(text) << '\n' << std::flush;
    }

    void ShowReport(const RunReport& report) override
    {
        EndProgressLine();
        reported_ = true;
        if (sourceError_) {
            return; // a run that could not read its source is refused, not reported
        }
        out_ << Text(report.TotalCaption()) << ' ' << report.TotalText << '\n'
             << Text(MessageId::ReportProcessed) << ' ' << report.ProcessedText << '\n'
             << Text(MessageId::ReportSkipped) << ' ' << report.SkippedText << '\n'
             << Text(MessageId::ReportSkippedFiles) << '\n';
        for (const SkippedFile& file : report.Files) {
            out_ << Escaped(file.Path) << '\n';
        }
        for (const UnwrittenFile& file : report.Unwritten) {
            out_ << Escaped(Text(file.Line())) << '\n';
        }
        if (const auto closing = report.Closing()) {
            out_ << Text(*closing) << '\n';
        }
        out_ << std::flush;
        skipped_ = report.SkippedText != "0";
    }

    bool Skipped() const { return skipped_; }

  private:
    std::string Text(const Message& message) const { return MessageText(message, language_); }

    void EndProgressLine()
    {
        if (lineOpen_) {
            err_ << '\n';
            lineOpen_ = false;
        }
    }

    std::ostream& out_;
    std::ostream& err_;
    bool progress_;
    bool verbose_;
    Language language_;
    bool reported_ = false;
    std::string source_, receiver_, width_, height_, start_, quality_, preview_;
    bool startTicked_ = false;
    bool includeSubfolders_ = true;
    FormatSet formats_ = FormatSet::Defined();
    CropPosition crop_;
    const std::map<std::string, CropPosition>* crops_;
    bool skipped_ = false;
    std::optional<Message> sourceError_;
    bool unreadableFolders_ = false;
    bool lineOpen_ = false;
    int32_t shown_ = -1;
};

// Each picture's kept part as a comment line, then its position and path as a crop file's line; a picture
// that cannot be opened gets a comment with why. The exit status is that of a run.
int ListCrops(ConversionRun& run, CliControls& controls, std::ostream& out, Language language)
{
    bool failed = false;
    const RunOutcome outcome = run.ListCommand(controls, [&](const ListedPicture& picture) {
        if (picture.Why) {
            out << "# " << Escaped(picture.Path) << ": " << MessageText(picture.Why.Text(), language) << '\n';
            failed = true;
            return;
        }
        std::vector<Message> numbers;
        for (const int64_t n : {picture.Left, picture.Top, picture.Width, picture.Height, int64_t{picture.PictureWidth},
                                int64_t{picture.PictureHeight}}) {
            numbers.push_back(Message::Plain(std::to_string(n)));
        }
        out << MessageText({MessageId::CliListedPart, numbers}, language) << '\n'
            << CropPositionText(picture.Crop) << ' ' << Escaped(picture.Path) << '\n';
    });
    if (const auto& why = controls.SourceError()) {
        controls.ShowProblem({MessageId::CliSourceUnreadable, {Message::Plain(Escaped(controls.SourceText())), *why}});
        return CliExit::Stopped;
    }
    if (!out.flush()) {
        controls.ShowProblem(MessageId::CliReportNotWritten);
        return CliExit::Stopped;
    }
    switch (outcome) {
    case RunOutcome::Refused:
        return CliExit::Stopped;
    case RunOutcome::Interrupted:
        return CliExit::Interrupted;
    case RunOutcome::Completed:
        break;
    }
    return failed || controls.UnreadableFolders() ? CliExit::WithFailures : CliExit::Clean;
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressOnErr,
           const std::atomic<bool>* stop, Language language)
{
    Options options;
    if (auto problem = Parse(args, options)) {
        err << "quorvane-cli: " << MessageText(*problem, language) << "\n\n" << Usage(language);
        return CliExit::Usage;
    }
    if (options.Help) {
        out << Usage(language);
        return CliExit::Clean;
    }
    if (options.Version) {
        out << "quorvane-cli " << QUORVANE_VERSION << '\n'
            << "Licence: GPL-3.0-or-later; third-party notices in THIRD-PARTY-NOTICES.txt beside the program "
               "(Debian: /usr/share/doc/quorvane/copyright)\n";
        return CliExit::Clean;
    }
    if (auto it = options.Values.find("crop-file"); it != options.Values.end()) {
        if (auto problem = ReadCropFile(it->second, options.Crops)) {
            err << "quorvane-cli: " << MessageText(*problem, language) << '\n';
            return CliExit::Stopped;
        }
    }
    CliControls controls(options, out, err, progressOnErr, language);
    ConversionRun run({.Jobs = options.Jobs, .MemoryBudget = options.MemoryMiB << 20, .Stop = stop});
    int status = CliExit::Clean;
    try {
        if (options.ListCrops) {
            return ListCrops(run, controls, out, language);
        }
        switch (run.StartCommand(controls)) {
        case RunOutcome::Refused:
            return CliExit::Stopped;
        case RunOutcome::Interrupted:
            status = CliExit::Interrupted;
            break;
        case RunOutcome::Completed:
            status = controls.Skipped() || run.FailedSaves() > 0 || controls.UnreadableFolders() ? CliExit::WithFailures
                                                                                                 : CliExit::Clean;
            break;
        }
        if (const auto& why = controls.SourceError()) {
            controls.ShowProblem(
                {MessageId::CliSourceUnreadable, {Message::Plain(Escaped(controls.SourceText())), *why}});
            return CliExit::Stopped;
        }
    } catch (const std::exception& error) {
        controls.ShowError(error.what());
        return CliExit::Stopped;
    }
    // A report that did not reach its reader (a full disk, a closed pipe) is no success.
    if (!out.flush()) {
        controls.ShowProblem(MessageId::CliReportNotWritten);
        return status == CliExit::Interrupted ? status : CliExit::Stopped;
    }
    return status;
}
