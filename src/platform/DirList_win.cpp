#include "platform/DirList.h"
#include "platform/Wide_win.h"

#include <windows.h>

namespace quorvane {

struct DirListing::Open {
    HANDLE Find;
    WIN32_FIND_DATAW First; // delivered by the first call to Next
    bool HasFirst;
};

DirListing::DirListing(const std::string& folder)
{
    // Every entry, hidden and system ones and "." and ".." included.
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = WidePath(folder) + L"\\*";
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find != INVALID_HANDLE_VALUE) {
        open_ = std::make_unique<Open>(Open{find, data, true});
        return;
    }
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(WidePath(folder).c_str());
    if (error == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        open_ = std::make_unique<Open>(Open{INVALID_HANDLE_VALUE, data, false}); // a folder with no entry
        return;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error_ = MessageId::FaultNotAFolder;
        return;
    }
    switch (error) {
    case ERROR_ACCESS_DENIED:
        error_ = MessageId::FaultFolderNoReadPermission;
        break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        error_ = MessageId::FaultNoSuchFolder;
        break;
    case ERROR_DIRECTORY:
        error_ = MessageId::FaultNotAFolder;
        break;
    case ERROR_FILENAME_EXCED_RANGE:
        error_ = MessageId::FaultPathTooLong;
        break;
    default:
        error_ = {MessageId::FaultFolderCode, std::to_string(error)};
        break;
    }
}

DirListing::~DirListing()
{
    if (open_ && open_->Find != INVALID_HANDLE_VALUE) {
        FindClose(open_->Find);
    }
}

bool DirListing::Next(DirEntry& entry)
{
    if (!open_ || open_->Find == INVALID_HANDLE_VALUE) {
        return false;
    }
    WIN32_FIND_DATAW data;
    if (open_->HasFirst) {
        data = open_->First;
        open_->HasFirst = false;
    } else if (!FindNextFileW(open_->Find, &data)) {
        return false;
    }
    // The file system's own attribute word: directory, hidden, reparse point and the rest as it reports them;
    // a reparse point's tag comes with it.
    entry.Name = Narrow(data.cFileName);
    entry.Attributes = data.dwFileAttributes;
    entry.ReparseTag = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? data.dwReserved0 : 0;
    return true;
}

} // namespace quorvane
