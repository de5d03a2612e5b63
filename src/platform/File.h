#pragma once

#include "Messages.h"
#include "platform/ByteReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane {

// Every file operation of the engine: open, read, write, rename, identity and sync. The system's part
// lives in File_posix.cpp and File_win.cpp; File.cpp holds what any system shares.

// An open file: a file descriptor on POSIX, a HANDLE on Windows; -1 is none on both. Closed when it goes.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(intptr_t fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    ~FileDescriptor();

    intptr_t Get() const { return fd_; }
    explicit operator bool() const { return fd_ != -1; }
    // Closes now; false when closing reports an error (a write that did not reach the file).
    bool Close();

  private:
    intptr_t fd_ = -1;
};

// Why a file was not opened for reading.
enum class FileRefusal {
    None,
    CannotOpen,
    NotRegularFile, // a folder, pipe or device
    TooLarge,
};

// Opens a regular file for reading without ever waiting: a pipe or device of that name is refused
// (NotRegularFile) instead of blocking the tool, and so is a file larger than `maxBytes` (TooLarge).
// `why`, when given, is set to the system's reason for a file that cannot be opened.
FileDescriptor OpenRegularFile(const std::string& path, uint64_t maxBytes, FileRefusal& refusal, uint64_t& size,
                               Message* why = nullptr);

// A picture file read as the decoders ask for its bytes.
class FileReader final : public ByteReader {
  public:
    // nullptr with the reason when the file cannot be used as a picture (one larger than any picture
    // file can be is TooLarge).
    static std::unique_ptr<FileReader> Open(const std::string& path, FileRefusal& refusal, Message* why = nullptr);

    uint64_t Size() const override { return size_; }
    int64_t ReadAt(uint64_t offset, uint8_t* to, size_t count) override;

  private:
    FileReader(FileDescriptor fd, uint64_t size) : fd_(std::move(fd)), size_(size) {}
    FileDescriptor fd_;
    uint64_t size_;
};

// The whole content of a regular file of at most `maxBytes`, or nothing.
std::optional<std::string> ReadRegularFile(const std::string& path, uint64_t maxBytes);

// Device and inode: the same file reached by different paths has the same identity.
using FileId = std::pair<uint64_t, uint64_t>;
std::optional<FileId> IdentityOf(const std::string& path);

// Whether the path names an existing folder (a link to one counts).
bool IsFolder(const std::string& path);

// An exclusive hold on a folder for as long as the object lives, so two runs never write into one
// receiver at once. The system drops it when the process ends, however it ends: nothing stale remains.
class FolderLock {
  public:
    // The hold, or nothing when another holder has the folder (or it cannot be opened).
    static std::optional<FolderLock> Take(const std::string& folder);

  private:
    explicit FolderLock(FileDescriptor fd) : fd_(std::move(fd)) {}
    FileDescriptor fd_;
};

// The name of StagedFile's temporary files: TemporaryPrefix + process id + "-" + counter +
// TemporarySuffix.
inline constexpr std::string_view TemporaryPrefix = ".quorvane-";
inline constexpr std::string_view TemporarySuffix = ".tmp";

// The process id in a temporary file's name; 0 when the name is not exactly of that form.
int64_t TemporaryOwner(std::string_view name);

// Removes from the folder the temporary files that StagedFile of a process that no longer runs
// left behind (killed while writing); only names of exactly that form are touched.
void RemoveLeftoverTemporaries(const std::string& folder);

struct WriteResult {
    bool Written = false;
    Message Reason; // why not: the system's reason

    explicit operator bool() const { return Written; }
};

// A file's whole new content, written under a temporary name in its target's folder and waiting to be
// moved onto the target, so the target is either the complete new file or what it was before. The
// temporary file never outlives the object. Content that will replace an existing file is flushed to the
// disk first, so even a machine that stops keeps the old file or the whole new one.
class StagedFile {
  public:
    // Writes the bytes; an empty object, with why in `result`, when they cannot be written.
    static StagedFile Write(const std::string& path, const std::vector<uint8_t>& bytes, WriteResult& result);

    StagedFile() = default;
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    ~StagedFile();

    explicit operator bool() const { return !temp_.empty(); }
    const std::string& Target() const { return path_; }
    // Moves the content onto the target. An existing target the user may not write is left alone (a failed
    // save). Afterwards the object is empty, whatever the result.
    WriteResult Place();

  private:
    StagedFile(std::string path, std::string temp) : path_(std::move(path)), temp_(std::move(temp)) {}
    void Discard();

    std::string path_;
    std::string temp_;
};

// Stages the bytes and places them at once.
WriteResult WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);

// Flushes everything written to the file system that holds `folder` (the writes that were not synced
// one by one); false when it cannot.
bool SyncFileSystem(const std::string& folder);

} // namespace quorvane
