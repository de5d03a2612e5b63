#include "platform/TextFile.h"

#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
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
    // A pipe or device of that name is refused instead of blocking the tool.
    return ReadRegularFile(path, std::numeric_limits<uint64_t>::max());
}

bool WriteTextFile(const std::string& path, std::string_view bytes, WriteMode mode)
{
    // Opened without waiting, so a pipe of that name is refused instead of blocking the tool; reading too
    // when the last byte may be a Ctrl-Z to replace.
    const int access = mode == WriteMode::AppendOverCtrlZ ? O_RDWR : O_WRONLY;
    const int append = mode == WriteMode::Replace ? 0 : O_APPEND;
    FileDescriptor file(open(path.c_str(), access | append | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!file) {
        return false;
    }
    const int fd = file.Get();
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
    return file.Close() && written;
}
