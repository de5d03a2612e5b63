#pragma once

#include <stdexcept>
#include <string>

namespace quorvane {

// How the engine reports failures, one mechanism per layer:
// - decoders return a LoadError (picture/LoadError.h): the reason a file is not a picture;
// - the run turns those reasons into skipped files, and an EngineError into the error that ends the run;
// - a worker thread catches everything a picture's preparation throws: running out of memory becomes a
//   failed load, anything else the run's error; nothing ends the process.
// Text-file operations report nothing (a missing or unwritable file is passed over), as the tool's files
// are optional.

// The one failure type of the engine: its text is exactly what the user is shown.
class EngineError : public std::runtime_error {
  public:
    explicit EngineError(const std::string& text) : std::runtime_error(text) {}
};

} // namespace quorvane
