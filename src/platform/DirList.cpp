#include "platform/DirList.h"

#include <sys/stat.h>

DirListing::DirListing(const std::string& folder) : folder_(folder), dir_(opendir(folder.c_str())) {}

DirListing::~DirListing()
{
    if (dir_) {
        closedir(dir_);
    }
}

bool DirListing::Next(DirEntry& entry)
{
    if (!dir_) {
        return false;
    }
    const dirent* item = readdir(dir_);
    if (!item) {
        return false;
    }
    entry.Name = item->d_name;
    unsigned char type = item->d_type;
    bool isDirectory = type == DT_DIR;
    bool isLink = type == DT_LNK;
    if (type == DT_UNKNOWN) {
        struct stat info {};
        if (lstat(JoinPath(folder_, entry.Name).c_str(), &info) == 0) {
            isDirectory = S_ISDIR(info.st_mode);
            isLink = S_ISLNK(info.st_mode);
        }
    }
    if (isLink) {
        // A link to a folder still reads as a folder, but the reparse bit keeps the walk out of it.
        struct stat target {};
        isDirectory = stat(JoinPath(folder_, entry.Name).c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    }
    uint32_t attributes = isDirectory ? Attr::Directory : 0;
    if (!entry.Name.empty() && entry.Name[0] == '.') {
        attributes |= Attr::Hidden;
    }
    if (isLink) {
        attributes |= Attr::ReparsePoint;
    }
    entry.Attributes = attributes == 0 ? Attr::Normal : attributes;
    return true;
}
