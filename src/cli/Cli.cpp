#include "cli/Cli.h"

#include "conversion/Naming.h"
#include "conversion/Run.h"
#include "platform/EngineError.h"
#include "platform/IntConv.h"

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>

namespace {

constexpr const char* Usage =
    "Usage: quorvane-cli --source TEXT --receiver TEXT --width TEXT --height TEXT\n"
    "                    [--quality TEXT] [--prefix TEXT] [--digits TEXT] [--start TEXT]\n"
    "                    [--no-subfolders] [--jobs N]\n"
    "\n"
    "Converts every JPEG and BMP picture under the source folder into a JPEG of exactly\n"
    "width x height pixels in the receiver folder, named prefix + number + \".jpg\".\n"
    "Each value is taken as the same text typed into the window's box would be.\n"
    "\n"
    "  --source TEXT       source folder\n"
    "  --receiver TEXT     receiver folder\n"
    "  --width TEXT        target width in pixels\n"
    "  --height TEXT       target height in pixels\n"
    "  --quality TEXT      JPEG quality 0..100 (default 60)\n"
    "  --prefix TEXT       file name prefix (default img)\n"
    "  --digits TEXT       digits of the file number, 1..8 (default 4)\n"
    "  --start TEXT        number of the first file\n"
    "  --no-subfolders     do not include subfolders\n"
    "  --jobs N            pictures prepared at once (default: one per core)\n"
    "  --help              show this text\n"
    "\n"
    "Example: quorvane-cli --source ~/Photos --receiver ~/Wallpapers --width 1080 --height 2400\n";

struct Options {
    std::map<std::string, std::string> Values;
    bool NoSubfolders = false;
    bool Help = false;
    int Jobs = 0;
};

// Parses the arguments; an error text when they are malformed.
std::optional<std::string> Parse(const std::vector<std::string>& args, Options& options)
{
    static const char* const Valued[] = {"source", "receiver", "width", "height", "quality",
                                         "prefix", "digits",   "start", "jobs"};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            return "unexpected argument: " + arg;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> value;
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "help" || name == "no-subfolders") {
            if (value) {
                return "--" + name + " takes no value";
            }
            (name == "help" ? options.Help : options.NoSubfolders) = true;
            continue;
        }
        if (std::find(std::begin(Valued), std::end(Valued), name) == std::end(Valued)) {
            return "unknown option: --" + name;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                return "missing value for --" + name;
            }
            value = args[++i];
        }
        options.Values[name] = *value;
    }
    if (auto jobs = options.Values.find("jobs"); jobs != options.Values.end()) {
        const auto number = TryStrToInt(jobs->second);
        if (!number || *number < 1 || *number > 256) {
            return "--jobs needs a number from 1 to 256";
        }
        options.Jobs = *number;
    }
    return std::nullopt;
}

// The window's boxes, filled from the command line.
class CliControls : public RunControls {
  public:
    CliControls(const Options& options, std::ostream& out, std::ostream& err, bool progress)
        : out_(out), err_(err), progress_(progress)
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
        // The quality box never holds a non-number: the window puts "60" back.
        quality_ = text("quality", "60");
        if (!TryStrToInt(quality_)) {
            quality_ = "60";
        }
        // The preview settles the way the window's digit-count box does.
        const std::string prefix = text("prefix", "img");
        std::string digits = text("digits", "4");
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

    void SetProgress(int32_t percent) override
    {
        if (progress_ && percent != shown_) {
            shown_ = percent;
            err_ << '\r' << percent << '%' << std::flush;
            lineOpen_ = true;
        }
    }

    void ShowMessage(const std::string& text) override
    {
        EndProgressLine();
        err_ << text << '\n' << std::flush;
    }

    void ShowError(const std::string& text)
    {
        EndProgressLine();
        err_ << ErrorBoxText(text) << '\n' << std::flush;
    }

    void ShowReport(const RunReport& report) override
    {
        EndProgressLine();
        out_ << "Всего файлов(jpg, bmp): " << report.TotalText << '\n'
             << "Обработано: " << report.ProcessedText << '\n'
             << "Пропущено из-за ошибок: " << report.SkippedText << '\n'
             << "Пропущенные файлы\n";
        for (const std::string& line : report.Lines) {
            out_ << line << '\n';
        }
        out_ << std::flush;
        skipped_ = report.SkippedText != "0";
    }

    bool Skipped() const { return skipped_; }

  private:
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
    std::string source_, receiver_, width_, height_, start_, quality_, preview_;
    bool startTicked_ = false;
    bool includeSubfolders_ = true;
    bool skipped_ = false;
    bool lineOpen_ = false;
    int32_t shown_ = -1;
};

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressOnErr)
{
    Options options;
    if (auto problem = Parse(args, options)) {
        err << "quorvane-cli: " << *problem << "\n\n" << Usage;
        return CliExit::Usage;
    }
    if (options.Help) {
        out << Usage;
        return CliExit::Clean;
    }
    CliControls controls(options, out, err, progressOnErr);
    ConversionRun run;
    run.Jobs = options.Jobs;
    try {
        if (run.StartCommand(controls) == RunOutcome::Refused) {
            return CliExit::Stopped;
        }
    } catch (const EngineError& error) {
        controls.ShowError(error.what());
        return CliExit::Stopped;
    } catch (const std::exception& error) {
        controls.ShowError(error.what());
        return CliExit::Stopped;
    }
    return controls.Skipped() || run.FailedSaves() > 0 ? CliExit::WithFailures : CliExit::Clean;
}
