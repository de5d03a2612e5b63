#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

// What the tests make of files, folders and the process where each system has a way of its own. The
// system's part lives in SystemKit_posix.cpp and SystemKit_win.cpp; a test asks what it may do here, and
// skips with the reason given when it may not.

// Why a test cannot take a step on this system, for GTEST_SKIP(); nullptr when it can (or did). A step that
// the system allows but that fails throws.
using WhyNot = const char*;

// Why a test of a rule that POSIX systems alone follow (where the per-user files go, what a listing
// reports) does not run here, and the same for Windows.
WhyNot WhyNotPosix();
WhyNot WhyNotWindows();

// Makes the folder `name` in `parent` with the attribute bits given (the walk's Attr values) and returns its
// path. On Windows the bits are the folder's own. On POSIX a hidden folder is one whose name starts with a
// dot, so the hidden bit puts one before `name`; the other bits have no counterpart there.
std::string MakeFolder(const std::string& parent, const std::string& name, uint32_t attributes = 0);

// A link at `link` to the folder `target`: a symbolic link on POSIX, a junction on Windows.
WhyNot MakeFolderLink(const std::string& target, const std::string& link);

// A symbolic link at `link` to `target`, which need not exist; none on Windows, where these take a privilege.
WhyNot MakeFileLink(const std::string& target, const std::string& link);

// A named pipe at `path`, where the system keeps pipes in folders.
WhyNot MakePipe(const std::string& path);

// Opens an existing named pipe's reading end without waiting for a writer, runs `meanwhile` and returns
// the bytes that reached the reader by then. Throws when the pipe cannot be opened.
std::string ReadPipeAround(const std::string& path, const std::function<void()>& meanwhile);

// The device that takes every write and keeps nothing ("/dev/null", "NUL").
std::string NullDevice();

// A device that refuses every write for want of space (/dev/full), and why there is none.
WhyNot WhyNoFullDevice();
std::string FullDevice();

// Why a file name cannot hold control characters (ESC, LF); nullptr where it can.
WhyNot WhyNoControlCharactersInNames();

// Sets an environment variable of this process; nullptr removes it (on Windows an empty text does too).
void SetEnvironment(const std::string& name, const char* value);

// Runs `act` with the rights of an ordinary user and returns its result. On POSIX it runs in a child process
// that, as root (who may write anything), gives root's rights up first; on Windows, where a file's read-only
// attribute binds every user, in this process. None when the child could not give root's rights up.
std::optional<bool> AsOrdinaryUser(const std::function<bool()>& act);

// Counts the times the file `name` in `folder` is written and closed, from the counter's making on.
WhyNot WhyNoWriteCounts();
class WriteCounter {
  public:
    WriteCounter(const std::string& folder, std::string name);
    ~WriteCounter();
    WriteCounter(const WriteCounter&) = delete;
    WriteCounter& operator=(const WriteCounter&) = delete;

    bool Works() const;
    int Count();

  private:
    struct Watch; // the system's watch of the folder
    std::unique_ptr<Watch> watch_;
    std::string name_;
    int count_ = 0;
};

// A disk of 64 KiB mounted on a folder (made if missing) for the life of the object, where the system lets
// the test mount one.
class SmallDisk {
  public:
    explicit SmallDisk(std::string path);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    WhyNot WhyNotMounted() const;
    bool MakeReadOnly();
    // Fills the disk but for about `spare` bytes, so a larger write gets part of the way and then fails; false
    // when the disk did not fill up.
    bool FillLeaving(size_t spare);

  private:
    std::string path_;
    bool mounted_ = false;
};

// A chain of folders named `part` under `top`, nested until the innermost one's path passes the system's
// limit on a path's length (MAX_PATH, PATH_MAX), with the file `name` holding `bytes` at the bottom. Made
// and removed again (by the object's end) a folder at a time, since the library's functions cannot take such
// paths.
class DeepFolders {
  public:
    DeepFolders(std::string top, std::string part, const std::string& name, const std::vector<uint8_t>& bytes);
    ~DeepFolders();
    DeepFolders(const DeepFolders&) = delete;
    DeepFolders& operator=(const DeepFolders&) = delete;

    // The innermost folder as the program names it: `top` and the parts joined by the system's separator.
    const std::string& Path() const { return path_; }
    // The system's limit that Path() passes.
    static size_t Limit();

  private:
    void Remove();

    std::string top_;
    std::string part_;
    std::string name_;
    int levels_ = 0;
    std::string path_;
};

// Holds the existing file at `path` open and shared with no one, as a virus scanner does for a moment, from
// the object's making for `milliseconds` (on a thread of its own) or until the object ends. Where files
// have no share modes (POSIX) nothing is held, and WhyNoFileHolds() says so.
WhyNot WhyNoFileHolds();
class FileHold {
  public:
    FileHold(const std::string& path, int milliseconds);
    ~FileHold();
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;

  private:
    struct Held; // the system's handle and the thread that lets it go
    std::unique_ptr<Held> held_;
};

} // namespace quorvane
