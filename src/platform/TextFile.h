#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// The tool's text files: the rules of their lines (portable, in TextFile.cpp) and reading and writing them
// whole (the system's part in TextFile_posix.cpp and TextFile_win.cpp).

// Reads a text the way the tool's four text files are read: a line ends at LF, a CR right before the
// LF is dropped, any other CR stays, a Ctrl-Z byte ends the text, and the last line may lack its end.
// Reading goes on until the end has been reached by a read, so a text that ends in a line break (and an
// empty text) yields a final empty line.
class LineReader {
  public:
    explicit LineReader(std::string_view text);

    bool AtEnd() const { return atEnd_; }
    std::string ReadLine();

  private:
    std::string_view text_;
    size_t pos_ = 0;
    bool atEnd_ = false;
};

// The whole content of a file, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// The line end the tool writes.
inline constexpr std::string_view LineEnd = "\r\n";

// Write modes of the text files: create or empty; append at the end; or append in place of a last byte
// that is a Ctrl-Z (a plain append when the file does not end in one).
enum class WriteMode { Replace, Append, AppendOverCtrlZ };

// Writes the bytes to the file; false when it cannot be opened or written, or is not a regular file (a
// pipe or device of that name is never opened in a way that waits). Reports nothing.
bool WriteTextFile(const std::string& path, std::string_view bytes, WriteMode mode);

} // namespace quorvane
