#include "platform/TextFile.h"

#include "platform/File.h"

#include <limits>

namespace quorvane {

LineReader::LineReader(std::string_view text) : text_(text)
{
    if (auto stop = text_.find('\x1a'); stop != std::string_view::npos) {
        text_ = text_.substr(0, stop);
    }
}

std::string LineReader::ReadLine()
{
    if (atEnd_) {
        return {};
    }
    const size_t lf = text_.find('\n', pos_);
    if (lf == std::string_view::npos) {
        std::string line(text_.substr(pos_));
        pos_ = text_.size();
        atEnd_ = true;
        return line;
    }
    size_t end = lf;
    if (end > pos_ && text_[end - 1] == '\r') {
        --end;
    }
    std::string line(text_.substr(pos_, end - pos_));
    pos_ = lf + 1;
    return line;
}

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    // A pipe or device of that name is refused instead of blocking the tool.
    return ReadRegularFile(path, std::numeric_limits<uint64_t>::max());
}

} // namespace quorvane
