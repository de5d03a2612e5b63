#include "picture/PictureSource.h"

#include "platform/Limits.h"

namespace quorvane {

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
        return LoadReason::PictureSize;
    }
    return LoadReason::CannotOpen; // a value outside the enumeration
}

} // namespace

std::unique_ptr<FileReader> OpenPictureFile(const std::string& path, LoadError& error)
{
    FileRefusal refusal = FileRefusal::None;
    Message why;
    std::unique_ptr<FileReader> file = FileReader::Open(path, refusal, &why);
    if (!file) {
        error = {ReasonOf(refusal), why};
        if (refusal == FileRefusal::TooLarge) {
            error.Detail = {MessageId::FileLargerThan, std::to_string(MaxPictureFileBytes >> 20)};
        }
    }
    return file;
}

} // namespace quorvane
