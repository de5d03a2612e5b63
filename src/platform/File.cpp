#include "platform/File.h"

#include "platform/Limits.h"

namespace quorvane {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileDescriptor::~FileDescriptor()
{
    Close();
}

std::unique_ptr<FileReader> FileReader::Open(const std::string& path, FileRefusal& refusal, std::string* why)
{
    uint64_t size = 0;
    FileDescriptor fd = OpenRegularFile(path, static_cast<uint64_t>(MaxPictureFileBytes), refusal, size, why);
    if (!fd) {
        return nullptr;
    }
    return std::unique_ptr<FileReader>(new FileReader(std::move(fd), size));
}

} // namespace quorvane
