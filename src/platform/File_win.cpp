#include "platform/DirList.h"
#include "platform/File.h"
#include "platform/Wide_win.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace quorvane {

namespace {

HANDLE Handle(const FileDescriptor& file)
{
    return reinterpret_cast<HANDLE>(file.Get());
}

FileDescriptor Own(HANDLE handle)
{
    return FileDescriptor(reinterpret_cast<intptr_t>(handle)); // INVALID_HANDLE_VALUE is -1: none
}

// Shared with every other reader and writer, as the tool's files stay while open.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Why a file could not be opened.
Message OpenFault(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return MessageId::FaultNoReadPermission;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return MessageId::FaultNoSuchFile;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return MessageId::FaultFileBusy;
    case ERROR_FILENAME_EXCED_RANGE:
        return MessageId::FaultPathTooLong;
    case ERROR_TOO_MANY_OPEN_FILES:
        return MessageId::FaultTooManyOpenFiles;
    default:
        return {MessageId::FaultOpenCode, std::to_string(error)};
    }
}

// Why a write failed.
Message WriteFault(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return MessageId::FaultDiskFull;
    case ERROR_ACCESS_DENIED:
        return MessageId::FaultNoWritePermission;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return MessageId::FaultFileBusy;
    case ERROR_WRITE_PROTECT:
        return MessageId::FaultReadOnlyMedium;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
        return MessageId::FaultFolderMissing;
    case ERROR_DIRECTORY:
        return MessageId::FaultNotIntoFolder;
    case ERROR_FILENAME_EXCED_RANGE:
        return MessageId::FaultNameTooLong;
    default:
        return {MessageId::FaultWriteCode, std::to_string(error)};
    }
}

// A virus scanner or the search indexer often holds a file for a few milliseconds just after it was
// written: an operation that meets such a hold is tried again, with growing pauses, for about a second in
// all. `transient` tells the errors that may be such a hold; any other error ends the attempts at once.
template <typename Attempt, typename Transient> bool RetryWhileHeld(const Attempt& attempt, const Transient& transient)
{
    constexpr int Pauses[] = {5, 10, 20, 40, 80, 160, 300, 400}; // milliseconds, 1015 in all
    for (const int pause : Pauses) {
        if (attempt()) {
            return true;
        }
        if (!transient(GetLastError())) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
    return attempt();
}

bool HeldForReading(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool HeldForReplacing(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Opens any existing file or folder for its attributes alone.
FileDescriptor OpenForInformation(const std::string& path)
{
    return Own(
        CreateFileW(WidePath(path).c_str(), 0, ShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

} // namespace

bool FileDescriptor::Close()
{
    if (fd_ == -1) {
        return true;
    }
    return CloseHandle(reinterpret_cast<HANDLE>(std::exchange(fd_, -1))) != 0;
}

FileDescriptor OpenRegularFile(const std::string& path, uint64_t maxBytes, FileRefusal& refusal, uint64_t& size,
                               Message* why)
{
    // Folders open too (backup semantics), so that they are told apart from files that cannot be opened.
    const std::wstring wide = WidePath(path);
    FileDescriptor file;
    const bool opened = RetryWhileHeld(
        [&] {
            file = Own(CreateFileW(wide.c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            return static_cast<bool>(file);
        },
        HeldForReading);
    if (!opened) {
        refusal = FileRefusal::CannotOpen;
        if (why != nullptr) {
            *why = OpenFault(GetLastError());
        }
        return {};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(Handle(file)) != FILE_TYPE_DISK || !GetFileInformationByHandle(Handle(file), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        refusal = FileRefusal::NotRegularFile;
        return {};
    }
    const uint64_t bytes = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (bytes > maxBytes) {
        refusal = FileRefusal::TooLarge;
        return {};
    }
    size = bytes;
    return file;
}

int64_t FileReader::ReadAt(uint64_t offset, uint8_t* to, size_t count)
{
    size_t done = 0;
    while (done < count) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(Handle(fd_), to + done, ask, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            return -1;
        }
        if (got == 0) {
            break; // a file that shrank while being read is taken as it is now
        }
        done += got;
    }
    return static_cast<int64_t>(done);
}

std::optional<std::string> ReadRegularFile(const std::string& path, uint64_t maxBytes)
{
    FileRefusal refusal = FileRefusal::None;
    uint64_t size = 0;
    FileDescriptor file = OpenRegularFile(path, maxBytes, refusal, size);
    if (!file) {
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(Handle(file), buffer, sizeof buffer, &got, nullptr)) {
            return std::nullopt;
        }
        if (got == 0 || content.size() + got > maxBytes) {
            break;
        }
        content.append(buffer, got);
    }
    return content;
}

std::optional<FileId> IdentityOf(const std::string& path)
{
    FileDescriptor file = OpenForInformation(path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(Handle(file), &info)) {
        return std::nullopt;
    }
    return FileId{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<FolderLock> FolderLock::Take(const std::string& folder)
{
    // A folder cannot be locked itself: the hold is a named mutex of the folder's identity (so every path
    // to it meets the same one), which the system drops with the process's handles.
    const auto identity = IdentityOf(folder);
    if (!identity || !IsFolder(folder)) {
        return std::nullopt;
    }
    const std::wstring name =
        L"Local\\quorvane-receiver-" + std::to_wstring(identity->first) + L"-" + std::to_wstring(identity->second);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) {
        return std::nullopt;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return std::nullopt;
    }
    return FolderLock(Own(mutex));
}

namespace {

bool WriteAll(HANDLE file, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(file, bytes.data() + done, ask, &wrote, nullptr)) {
            return false;
        }
        if (wrote == 0) {
            SetLastError(ERROR_DISK_FULL); // a write that takes nothing: the device is full
            return false;
        }
        done += wrote;
    }
    return true;
}

// A fresh name in the target's folder; the file is created exclusively, so nothing else is touched.
FileDescriptor CreateTemporary(const std::string& folder, std::string& temp)
{
    static std::atomic<unsigned> counter{0};
    static const std::string prefix = std::string(TemporaryPrefix) + std::to_string(GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder + prefix + std::to_string(++counter) + std::string(TemporarySuffix);
        FileDescriptor file = Own(
            CreateFileW(WidePath(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return {};
}

// Whether the process with this id has ended (a process that still runs may still be writing).
bool ProcessEnded(DWORD id)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr) {
        return GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    }
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

} // namespace

void RemoveLeftoverTemporaries(const std::string& folder)
{
    DirListing listing(folder);
    DirEntry entry;
    while (listing.Next(entry)) {
        const int64_t owner = TemporaryOwner(entry.Name);
        if (owner > 0 && (entry.Attributes & Attr::Directory) == 0 && ProcessEnded(static_cast<DWORD>(owner))) {
            DeleteFileW(WidePath(JoinPath(folder, entry.Name)).c_str());
        }
    }
}

namespace {

// Why the existing file at `target` may not be replaced; empty when it may (or there is none).
Message ReplaceRefusal(const std::wstring& target, bool& replacing)
{
    const DWORD existing = GetFileAttributesW(target.c_str());
    replacing = existing != INVALID_FILE_ATTRIBUTES;
    if (replacing && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return MessageId::FaultFolderInPlace;
    }
    // Replacing a read-only file would overrule the user's mark: that is a failed save.
    if (replacing && (existing & FILE_ATTRIBUTE_READONLY) != 0) {
        return WriteFault(ERROR_ACCESS_DENIED);
    }
    return {};
}

} // namespace

StagedFile StagedFile::Write(const std::string& path, const std::vector<uint8_t>& bytes, WriteResult& result)
{
    bool replacing = false;
    if (Message refusal = ReplaceRefusal(WidePath(path), replacing); !refusal.Empty()) {
        result = {false, std::move(refusal)};
        return {};
    }
    const size_t slash = path.rfind(PathSeparator);
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string temp;
    FileDescriptor file = CreateTemporary(folder, temp);
    if (!file) {
        result = {false, WriteFault(GetLastError())};
        return {};
    }
    StagedFile staged(path, temp);
    // Only a file that replaces the user's old data is flushed on its own; new files are flushed together
    // at the end of the run.
    bool ok = WriteAll(Handle(file), bytes) && (!replacing || FlushFileBuffers(Handle(file)));
    DWORD error = ok ? 0 : GetLastError();
    if (!file.Close() && ok) {
        ok = false;
        error = GetLastError();
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
    const std::wstring temp = WidePath(std::exchange(temp_, {}));
    const std::wstring target = WidePath(path_);
    bool replacing = false;
    Message refusal = ReplaceRefusal(target, replacing);
    if (refusal.Empty() && !RetryWhileHeld(
                               [&] {
                                   return MoveFileExW(temp.c_str(), target.c_str(),
                                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
                               },
                               HeldForReplacing)) {
        refusal = WriteFault(GetLastError());
    }
    if (!refusal.Empty()) {
        DeleteFileW(temp.c_str());
        return {false, std::move(refusal)};
    }
    return {true, {}};
}

void StagedFile::Discard()
{
    if (!temp_.empty()) {
        DeleteFileW(WidePath(std::exchange(temp_, {})).c_str());
    }
}

bool SyncFileSystem(const std::string& folder)
{
    // Flushing a whole volume takes an administrator; for anyone else the system writes the files out
    // on its own, and nothing more can be asked of it.
    wchar_t volume[MAX_PATH] = {};
    const std::wstring wide = WidePath(folder.empty() ? "." : folder);
    if (!GetVolumePathNameW(wide.c_str(), volume, MAX_PATH)) {
        return false;
    }
    std::wstring device = L"\\\\.\\" + std::wstring(volume);
    while (!device.empty() && device.back() == L'\\') {
        device.pop_back();
    }
    FileDescriptor handle = Own(CreateFileW(device.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    if (!handle) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    return FlushFileBuffers(Handle(handle)) != 0;
}

} // namespace quorvane
