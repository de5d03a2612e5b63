#include "platform/TextFile.h"

#include <cstdio>
#include <memory>

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

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

} // namespace

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        content.append(buffer, got);
    }
    if (std::ferror(file.get())) {
        return std::nullopt;
    }
    return content;
}

bool WriteTextFile(const std::string& path, std::string_view bytes, WriteMode mode)
{
    FILE* raw = std::fopen(path.c_str(), mode == WriteMode::Append ? "ab" : "wb");
    if (!raw) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), raw) == bytes.size();
    return std::fclose(raw) == 0 && written;
}
