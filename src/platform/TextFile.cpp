#include "platform/TextFile.h"

#include <cerrno>
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
    // Opened without waiting, so a pipe of that name is refused instead of blocking the tool; reading too
    // when the last byte may be a Ctrl-Z to replace.
    const int access = mode == WriteMode::AppendOverCtrlZ ? O_RDWR : O_WRONLY;
    const int append = mode == WriteMode::Replace ? 0 : O_APPEND;
    const int fd = open(path.c_str(), access | append | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool written = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (written && mode == WriteMode::Replace) {
        written = ftruncate(fd, 0) == 0;
    }
    char last = 0;
    if (written && mode == WriteMode::AppendOverCtrlZ && info.st_size > 0 &&
        pread(fd, &last, 1, info.st_size - 1) == 1 && last == '\x1a') {
        written = ftruncate(fd, info.st_size - 1) == 0;
    }
    for (size_t done = 0; written && done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        written = n > 0;
        done += written ? static_cast<size_t>(n) : 0;
    }
    return close(fd) == 0 && written;
}
