#include "platform/DirList.h"
#include "platform/File.h"
#include "platform/LongPath_posix.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

bool FileDescriptor::Close()
{
    if (fd_ < 0) {
        return true;
    }
    const int fd = std::exchange(fd_, -1);
    return close(fd) == 0;
}

namespace {

// Why a file could not be opened.
Message OpenFault(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return MessageId::FaultNoReadPermission;
    case ENOENT:
        return MessageId::FaultNoSuchFile;
    case ELOOP:
        return MessageId::FaultLinkLoop;
    case ENAMETOOLONG:
        return MessageId::FaultPathTooLong;
    case EMFILE:
    case ENFILE:
        return MessageId::FaultTooManyOpenFiles;
    case EIO:
        return MessageId::FaultInputOutput;
    default:
        return {MessageId::FaultOpenCode, std::to_string(error)};
    }
}

} // namespace

FileDescriptor OpenRegularFile(const std::string& path, uint64_t maxBytes, FileRefusal& refusal, uint64_t& size,
                               Message* why)
{
    FileDescriptor fd(OpenAnyLength(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        refusal = FileRefusal::CannotOpen;
        if (why != nullptr) {
            *why = OpenFault(errno);
        }
        return {};
    }
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        refusal = FileRefusal::NotRegularFile;
        return {};
    }
    if (static_cast<uint64_t>(info.st_size) > maxBytes) {
        refusal = FileRefusal::TooLarge;
        return {};
    }
    size = static_cast<uint64_t>(info.st_size);
    return fd;
}

int64_t FileReader::ReadAt(uint64_t offset, uint8_t* to, size_t count)
{
    size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fd_.Get(), to + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break; // a file that shrank while being read is taken as it is now
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

std::optional<std::string> ReadRegularFile(const std::string& path, uint64_t maxBytes)
{
    FileRefusal refusal = FileRefusal::None;
    uint64_t size = 0;
    FileDescriptor fd = OpenRegularFile(path, maxBytes, refusal, size);
    if (!fd) {
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0 || content.size() + static_cast<size_t>(n) > maxBytes) {
            break;
        }
        content.append(buffer, static_cast<size_t>(n));
    }
    return content;
}

std::optional<FolderLock> FolderLock::Take(const std::string& folder)
{
    FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd || flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        return std::nullopt;
    }
    return FolderLock(std::move(fd));
}

int OpenAnyLength(const std::string& path, int flags)
{
    if (path.size() < PATH_MAX) {
        return open(path.c_str(), flags);
    }
    const bool absolute = path[0] == '/';
    int folder = open(absolute ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t start = absolute ? 1 : 0; folder >= 0;) {
        const size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        const bool last = slash == std::string::npos || path.find_first_not_of('/', slash) == std::string::npos;
        if (last && part.empty()) {
            return folder; // the path names a folder and ends with its separator
        }
        const int next = part.empty() ? dup(folder)
                                      : openat(folder, part.c_str(), last ? flags : O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int error = errno;
        close(folder);
        errno = error;
        if (last) {
            return next;
        }
        folder = next;
        start = slash + 1;
    }
    return -1;
}

bool StatAnyLength(const std::string& path, struct ::stat& info)
{
    if (path.size() < PATH_MAX) {
        return stat(path.c_str(), &info) == 0;
    }
    const int fd = OpenAnyLength(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool got = fstat(fd, &info) == 0;
    close(fd);
    return got;
}

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return StatAnyLength(path, info) && S_ISDIR(info.st_mode);
}

std::optional<FileId> IdentityOf(const std::string& path)
{
    struct stat info {};
    if (!StatAnyLength(path, info)) {
        return std::nullopt;
    }
    return FileId{info.st_dev, info.st_ino};
}

namespace {

bool WriteAll(int fd, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            errno = wrote == 0 ? ENOSPC : errno; // a write that takes nothing: the device is full
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// Why a write failed.
Message WriteFault(int error)
{
    switch (error) {
    case ENOSPC:
        return MessageId::FaultDiskFull;
    case EDQUOT:
        return MessageId::FaultQuotaExceeded;
    case EACCES:
    case EPERM:
        return MessageId::FaultNoWritePermission;
    case EROFS:
        return MessageId::FaultReadOnlyMedium;
    case ENOENT:
        return MessageId::FaultFolderMissing;
    case ENOTDIR:
        return MessageId::FaultNotIntoFolder;
    case EISDIR:
        return MessageId::FaultFolderInPlace;
    case ENAMETOOLONG:
        return MessageId::FaultNameTooLong;
    case EIO:
        return MessageId::FaultInputOutput;
    default:
        return {MessageId::FaultWriteCode, std::to_string(error)};
    }
}

// A fresh name in the target's folder; the file is created exclusively, so nothing else is touched.
FileDescriptor CreateTemporary(const std::string& folder, std::string& temp)
{
    static std::atomic<unsigned> counter{0};
    static const std::string prefix = std::string(TemporaryPrefix) + std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder + prefix + std::to_string(++counter) + std::string(TemporarySuffix);
        FileDescriptor fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd || errno != EEXIST) {
            return fd;
        }
    }
    return {};
}

} // namespace

void RemoveLeftoverTemporaries(const std::string& folder)
{
    DirListing listing(folder);
    DirEntry entry;
    while (listing.Next(entry)) {
        const auto owner = static_cast<pid_t>(TemporaryOwner(entry.Name));
        // A process that still runs (or that this user may not signal) may still be writing it.
        if (owner > 0 && (entry.Attributes & Attr::Directory) == 0 && kill(owner, 0) != 0 && errno == ESRCH) {
            unlink(JoinPath(folder, entry.Name).c_str());
        }
    }
}

StagedFile StagedFile::Write(const std::string& path, const std::vector<uint8_t>& bytes, WriteResult& result)
{
    struct stat existing {};
    const bool replacing = lstat(path.c_str(), &existing) == 0;
    // Renaming would replace a file the user may not write (and reset its mode): that is a failed save,
    // known before anything is written.
    if (replacing && access(path.c_str(), W_OK) != 0) {
        result = {false, WriteFault(errno)};
        return {};
    }
    const size_t slash = path.rfind(PathSeparator);
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string temp;
    FileDescriptor fd = CreateTemporary(folder, temp);
    if (!fd) {
        result = {false, WriteFault(errno)};
        return {};
    }
    StagedFile staged(path, temp);
    // Only a file that replaces the user's old data is synced on its own; new files are flushed together
    // at the end of the run.
    bool ok = WriteAll(fd.Get(), bytes) && (!replacing || fdatasync(fd.Get()) == 0);
    int error = ok ? 0 : errno;
    if (!fd.Close() && ok) { // a delayed write error shows when closing
        ok = false;
        error = errno;
    }
    if (!ok) {
        result = {false, WriteFault(error)};
        return {};
    }
    result = {true, {}};
    return staged;
}

WriteResult StagedFile::Place()
{
    const std::string temp = std::exchange(temp_, {});
    struct stat existing {};
    if (lstat(path_.c_str(), &existing) == 0 && access(path_.c_str(), W_OK) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        return {false, WriteFault(error)};
    }
    if (rename(temp.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        return {false, WriteFault(error)};
    }
    return {true, {}};
}

void StagedFile::Discard()
{
    if (!temp_.empty()) {
        unlink(std::exchange(temp_, {}).c_str());
    }
}

bool SyncFileSystem(const std::string& folder)
{
    FileDescriptor fd(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd && syncfs(fd.Get()) == 0;
}

} // namespace quorvane
