#include "platform/DirList.h"
#include "platform/Wide_win.h"
#include "support/SystemKit.h"
#include "support/TestSupport.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <winioctl.h>

namespace quorvane {

std::filesystem::path FilePath(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string PathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

WhyNot WhyNotPosix()
{
    return "a POSIX system's own rule, and this is Windows";
}

WhyNot WhyNotWindows()
{
    return nullptr;
}

std::string MakeFolder(const std::string& parent, const std::string& name, uint32_t attributes)
{
    const std::string path = JoinPath(parent, name);
    std::filesystem::create_directory(FilePath(path));
    if (attributes != 0 && !SetFileAttributesW(Widen(path).c_str(), attributes)) {
        throw std::runtime_error("cannot set the attributes of " + path);
    }
    return path;
}

WhyNot MakeFolderLink(const std::string& target, const std::string& link)
{
    // A junction: a folder with a mount-point reparse point naming the target's full path.
    std::wstring full(MAX_PATH, L'\0');
    full.resize(GetFullPathNameW(Widen(target).c_str(), MAX_PATH, full.data(), nullptr));
    if (full.empty() || full.size() >= MAX_PATH) {
        throw std::runtime_error("cannot take the full path of " + target);
    }
    const std::wstring substitute = L"\\??\\" + full;
    const size_t header = 16; // tag, data length, reserved, then the names' offsets and lengths
    const size_t names = (substitute.size() + 1 + full.size() + 1) * sizeof(wchar_t);
    std::vector<BYTE> buffer(header + names, 0);
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    const WORD fields[] = {
        static_cast<WORD>(header + names - 8),                        // data length
        0,                                                            // reserved
        0,                                                            // substitute name offset
        static_cast<WORD>(substitute.size() * sizeof(wchar_t)),       // substitute name length
        static_cast<WORD>((substitute.size() + 1) * sizeof(wchar_t)), // print name offset
        static_cast<WORD>(full.size() * sizeof(wchar_t)),             // print name length
    };
    std::memcpy(buffer.data(), &tag, sizeof tag);
    std::memcpy(buffer.data() + sizeof tag, fields, sizeof fields);
    std::memcpy(buffer.data() + header, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
    std::memcpy(buffer.data() + header + (substitute.size() + 1) * sizeof(wchar_t), full.c_str(),
                (full.size() + 1) * sizeof(wchar_t));

    const std::wstring path = Widen(link);
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        throw std::runtime_error("cannot make the folder " + link);
    }
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD returned = 0;
    const bool made = handle != INVALID_HANDLE_VALUE &&
                      DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      nullptr, 0, &returned, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    if (!made) {
        RemoveDirectoryW(path.c_str());
        return "the file system here makes no junctions";
    }
    return nullptr;
}

WhyNot MakeFileLink(const std::string&, const std::string&)
{
    return "symbolic links take a privilege on Windows";
}

WhyNot MakePipe(const std::string&)
{
    return "Windows keeps its pipes out of folders";
}

std::string ReadPipeAround(const std::string& path, const std::function<void()>&)
{
    throw std::runtime_error("no pipe in a folder on Windows: " + path);
}

std::string NullDevice()
{
    return "NUL";
}

WhyNot WhyNoFullDevice()
{
    return "Windows has no full device";
}

std::string FullDevice()
{
    return {};
}

WhyNot WhyNoControlCharactersInNames()
{
    return "Windows file names hold no control characters";
}

void SetEnvironment(const std::string& name, const char* value)
{
    _putenv_s(name.c_str(), value != nullptr ? value : "");
}

std::optional<bool> AsOrdinaryUser(const std::function<bool()>& act)
{
    return act();
}

struct WriteCounter::Watch {};

WhyNot WhyNoWriteCounts()
{
    return "the writes are counted through inotify, which Windows has not";
}

WriteCounter::WriteCounter(const std::string&, std::string name) : name_(std::move(name)) {}

WriteCounter::~WriteCounter() = default;

bool WriteCounter::Works() const
{
    return false;
}

int WriteCounter::Count()
{
    return count_;
}

SmallDisk::SmallDisk(std::string path) : path_(std::move(path))
{
    std::filesystem::create_directories(FilePath(path_));
}

SmallDisk::~SmallDisk() = default;

WhyNot SmallDisk::WhyNotMounted() const
{
    return "the small disk is a tmpfs, which Windows has not";
}

bool SmallDisk::MakeReadOnly()
{
    return false;
}

bool SmallDisk::FillLeaving(size_t)
{
    return false;
}

namespace {

// The folder's full path in the "\\?\" form, the only one the file functions take past MAX_PATH.
std::string LongForm(const std::string& folder)
{
    return "\\\\?\\" + PathText(std::filesystem::absolute(FilePath(folder)).make_preferred());
}

} // namespace

DeepFolders::DeepFolders(std::string top, std::string part, const std::string& name, const std::vector<uint8_t>& bytes)
    : top_(std::move(top)), part_(std::move(part)), name_(name), path_(top_)
{
    try {
        std::string made = LongForm(top_);
        while (path_.size() <= Limit()) {
            made += "\\" + part_;
            if (!std::filesystem::create_directory(FilePath(made))) {
                throw std::runtime_error("cannot make " + made);
            }
            ++levels_;
            path_ = JoinPath(path_, part_);
        }
        WriteFileBytes(made + "\\" + name_, bytes);
    } catch (...) {
        Remove();
        throw;
    }
}

DeepFolders::~DeepFolders()
{
    Remove();
}

// One entry at a time: the library's removal of a tree cannot walk "\\?\" names.
void DeepFolders::Remove()
{
    if (levels_ == 0) {
        return;
    }
    std::vector<std::string> entries;
    std::string made = LongForm(top_);
    for (int level = 0; level < levels_; ++level) {
        made += "\\" + part_;
        entries.push_back(made);
    }
    entries.push_back(made + "\\" + name_);
    std::error_code ignored;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        std::filesystem::remove(FilePath(*entry), ignored);
    }
}

size_t DeepFolders::Limit()
{
    return MAX_PATH;
}

WhyNot WhyNoFileHolds()
{
    return nullptr;
}

struct FileHold::Held {
    HANDLE File;
    std::thread Release;
};

FileHold::FileHold(const std::string& path, int milliseconds)
{
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot hold " + path);
    }
    held_ = std::make_unique<Held>(Held{file, std::thread([file, milliseconds] {
                                            Sleep(static_cast<DWORD>(milliseconds));
                                            CloseHandle(file);
                                        })});
}

FileHold::~FileHold()
{
    held_->Release.join();
}

} // namespace quorvane
