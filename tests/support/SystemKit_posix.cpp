#include "platform/DirList.h"
#include "support/SystemKit.h"
#include "support/TestSupport.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane {

std::filesystem::path FilePath(const std::string& text)
{
    return text;
}

std::string PathText(const std::filesystem::path& path)
{
    return path.string();
}

WhyNot WhyNotPosix()
{
    return nullptr;
}

WhyNot WhyNotWindows()
{
    return "a rule of Windows' own, and this is a POSIX system";
}

std::string MakeFolder(const std::string& parent, const std::string& name, uint32_t attributes)
{
    const std::string path = JoinPath(parent, ((attributes & Attr::Hidden) != 0 ? "." : "") + name);
    std::filesystem::create_directory(path);
    return path;
}

WhyNot MakeFolderLink(const std::string& target, const std::string& link)
{
    std::filesystem::create_directory_symlink(target, link);
    return nullptr;
}

WhyNot MakeFileLink(const std::string& target, const std::string& link)
{
    std::filesystem::create_symlink(target, link);
    return nullptr;
}

WhyNot MakePipe(const std::string& path)
{
    if (mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("cannot make the pipe " + path);
    }
    return nullptr;
}

std::string ReadPipeAround(const std::string& path, const std::function<void()>& meanwhile)
{
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (reader < 0) {
        throw std::runtime_error("cannot open the pipe " + path);
    }
    meanwhile();
    std::string bytes;
    char buffer[256];
    for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, static_cast<size_t>(n));
    }
    close(reader);
    return bytes;
}

std::string NullDevice()
{
    return "/dev/null";
}

WhyNot WhyNoFullDevice()
{
    return access("/dev/full", W_OK) == 0 ? nullptr : "this system has no /dev/full";
}

std::string FullDevice()
{
    return "/dev/full";
}

WhyNot WhyNoControlCharactersInNames()
{
    return nullptr;
}

void SetEnvironment(const std::string& name, const char* value)
{
    if (value != nullptr) {
        setenv(name.c_str(), value, 1);
    } else {
        unsetenv(name.c_str());
    }
}

std::optional<bool> AsOrdinaryUser(const std::function<bool()>& act)
{
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(2);
        }
        _exit(act() ? 1 : 0);
    }
    int status = -1;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        return std::nullopt;
    }
    return WEXITSTATUS(status) == 1;
}

// Opens are watched too: identical events in a row would be merged into one, and an open between two writes
// keeps them apart.
struct WriteCounter::Watch {
    int Fd = -1;
};

WhyNot WhyNoWriteCounts()
{
    return nullptr;
}

WriteCounter::WriteCounter(const std::string& folder, std::string name)
    : watch_(std::make_unique<Watch>()), name_(std::move(name))
{
    watch_->Fd = inotify_init1(IN_NONBLOCK);
    if (watch_->Fd >= 0 && inotify_add_watch(watch_->Fd, folder.c_str(), IN_OPEN | IN_CLOSE_WRITE) < 0) {
        close(watch_->Fd);
        watch_->Fd = -1;
    }
}

WriteCounter::~WriteCounter()
{
    if (watch_->Fd >= 0) {
        close(watch_->Fd);
    }
}

bool WriteCounter::Works() const
{
    return watch_->Fd >= 0;
}

int WriteCounter::Count()
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = watch_->Fd >= 0 ? read(watch_->Fd, buffer, sizeof buffer) : 0;
        if (length <= 0) {
            return count_;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((event->mask & IN_CLOSE_WRITE) != 0 && event->len > 0 && name_ == event->name) {
                ++count_;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

// A tmpfs, which needs the right to mount.
SmallDisk::SmallDisk(std::string path) : path_(std::move(path))
{
    std::filesystem::create_directories(path_);
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0;
}

SmallDisk::~SmallDisk()
{
    if (mounted_) {
        umount2(path_.c_str(), MNT_DETACH);
    }
}

WhyNot SmallDisk::WhyNotMounted() const
{
    return mounted_ ? nullptr : "mounting a tmpfs is not permitted here";
}

bool SmallDisk::MakeReadOnly()
{
    return mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
}

bool SmallDisk::FillLeaving(size_t spare)
{
    const std::string spacer = path_ + "/spacer";
    WriteFileBytes(spacer, std::string(spare, 's'));
    const int fd = open((path_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return false;
    }
    const std::string block(4096, 'f');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    const bool full = errno == ENOSPC;
    close(fd);
    std::filesystem::remove(spacer);
    return full;
}

namespace {

// Closes the folders it holds, innermost first.
struct FolderChain {
    std::vector<int> Fds;
    ~FolderChain()
    {
        for (auto fd = Fds.rbegin(); fd != Fds.rend(); ++fd) {
            close(*fd);
        }
    }
    bool Enter(const char* name)
    {
        const int fd = openat(Fds.empty() ? AT_FDCWD : Fds.back(), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            Fds.push_back(fd);
        }
        return fd >= 0;
    }
};

} // namespace

// Each folder is made and entered relative to the one before, so no call sees the whole path.
DeepFolders::DeepFolders(std::string top, std::string part, const std::string& name, const std::vector<uint8_t>& bytes)
    : top_(std::move(top)), part_(std::move(part)), name_(name), path_(top_)
{
    FolderChain chain;
    bool made = chain.Enter(top_.c_str());
    while (made && path_.size() <= Limit()) {
        made = mkdirat(chain.Fds.back(), part_.c_str(), 0755) == 0 && chain.Enter(part_.c_str());
        if (made) {
            ++levels_;
            path_ = JoinPath(path_, part_);
        }
    }
    const int file = made ? openat(chain.Fds.back(), name_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
    made = file >= 0 && write(file, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (file >= 0) {
        made = close(file) == 0 && made;
    }
    if (!made) {
        Remove();
        throw std::runtime_error("cannot make deep folders under " + top_);
    }
}

DeepFolders::~DeepFolders()
{
    Remove();
}

void DeepFolders::Remove()
{
    FolderChain chain;
    if (levels_ == 0 || !chain.Enter(top_.c_str())) {
        return;
    }
    for (int level = 0; level < levels_ && chain.Enter(part_.c_str()); ++level) {
    }
    unlinkat(chain.Fds.back(), name_.c_str(), 0);
    for (size_t at = chain.Fds.size() - 1; at > 0; --at) {
        close(chain.Fds[at]);
        chain.Fds.pop_back();
        unlinkat(chain.Fds.back(), part_.c_str(), AT_REMOVEDIR);
    }
}

size_t DeepFolders::Limit()
{
    return PATH_MAX;
}

WhyNot WhyNoFileHolds()
{
    return "POSIX files have no share modes: nothing holds a file against a rename";
}

struct FileHold::Held {};

FileHold::FileHold(const std::string&, int) {}

FileHold::~FileHold() = default;

} // namespace quorvane
