#include "platform/File.h"
#include "platform/TextFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

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

} // namespace quorvane
