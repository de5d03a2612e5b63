#include "picture/PictureSource.h"

namespace {

LoadReason ReasonOf(FileRefusal refusal)
{
    switch (refusal) {
    case FileRefusal::None:
        return LoadReason::None;
    case FileRefusal::CannotOpen:
        return LoadReason::CannotOpen;
    case FileRefusal::NotRegularFile:
        return LoadReason::NotRegularFile;
    case FileRefusal::TooLarge:
        return LoadReason::FileTooLarge;
    }
    return LoadReason::CannotOpen; // a value outside the enumeration
}

} // namespace

std::unique_ptr<FileReader> OpenPictureFile(const std::string& path, LoadError& error)
{
    FileRefusal refusal = FileRefusal::None;
    std::unique_ptr<FileReader> file = FileReader::Open(path, refusal);
    if (!file) {
        error = {ReasonOf(refusal), {}};
    }
    return file;
}
