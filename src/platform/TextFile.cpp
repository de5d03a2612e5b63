#include "platform/TextFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // Opened without waiting, so a pipe of that name is refused instead of blocking the tool.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    std::optional<std::string> content;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        content.emplace();
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                content.reset();
            }
            if (n <= 0) {
                break;
            }
            content->append(buffer, static_cast<size_t>(n));
        }
    }
    close(fd);
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
