#include "platform/DirList.h"
#include "platform/LongPath_posix.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

struct DirListing::Open {
    std::string Folder;
    DIR* Dir;
};

DirListing::DirListing(const std::string& folder)
{
    // Opened through a descriptor, so folders of any path length are listed.
    const int fd = OpenAnyLength(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr) {
        open_ = std::make_unique<Open>(Open{folder, dir});
        return;
    }
    const int error = errno;
    if (fd >= 0) {
        close(fd);
    }
    errno = error;
    switch (errno) {
    case EACCES:
    case EPERM:
        error_ = MessageId::FaultFolderNoReadPermission;
        break;
    case ENOENT:
        error_ = MessageId::FaultNoSuchFolder;
        break;
    case ENOTDIR:
        error_ = MessageId::FaultNotAFolder;
        break;
    case ELOOP:
        error_ = MessageId::FaultLinkLoop;
        break;
    case ENAMETOOLONG:
        error_ = MessageId::FaultPathTooLong;
        break;
    default:
        error_ = {MessageId::FaultFolderCode, std::to_string(errno)};
        break;
    }
}

DirListing::~DirListing()
{
    if (open_) {
        closedir(open_->Dir);
    }
}

bool DirListing::Next(DirEntry& entry)
{
    if (!open_) {
        return false;
    }
    const dirent* item = readdir(open_->Dir);
    if (!item) {
        return false;
    }
    entry.Name = item->d_name;
    unsigned char type = item->d_type;
    bool isDirectory = type == DT_DIR;
    bool isLink = type == DT_LNK;
    if (type == DT_UNKNOWN) {
        struct stat info {};
        if (fstatat(dirfd(open_->Dir), entry.Name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            isDirectory = S_ISDIR(info.st_mode);
            isLink = S_ISLNK(info.st_mode);
        }
    }
    if (isLink) {
        // A link to a folder still reads as a folder, but the reparse bit keeps the walk out of it.
        struct stat target {};
        isDirectory = fstatat(dirfd(open_->Dir), entry.Name.c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode);
    }
    uint32_t attributes = isDirectory ? Attr::Directory : 0;
    if (!entry.Name.empty() && entry.Name[0] == '.') {
        attributes |= Attr::Hidden;
    }
    // A symbolic link reads as Windows' own kind of one.
    constexpr uint32_t SymbolicLinkTag = 0xA000000C;
    if (isLink) {
        attributes |= Attr::ReparsePoint;
    }
    entry.Attributes = attributes == 0 ? Attr::Normal : attributes;
    entry.ReparseTag = isLink ? SymbolicLinkTag : 0;
    return true;
}

} // namespace quorvane
