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

int64_t TemporaryOwner(std::string_view name)
{
    if (!name.starts_with(TemporaryPrefix) || !name.ends_with(TemporarySuffix)) {
        return 0;
    }
    name = name.substr(TemporaryPrefix.size(), name.size() - TemporaryPrefix.size() - TemporarySuffix.size());
    const size_t dash = name.find('-');
    const auto digits = [](std::string_view part) {
        return !part.empty() && part.size() <= 9 && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (dash == std::string_view::npos || !digits(name.substr(0, dash)) || !digits(name.substr(dash + 1))) {
        return 0;
    }
    return std::stoll(std::string(name.substr(0, dash)));
}

std::unique_ptr<FileReader> FileReader::Open(const std::string& path, FileRefusal& refusal, Message* why)
{
    uint64_t size = 0;
    FileDescriptor fd = OpenRegularFile(path, static_cast<uint64_t>(MaxPictureFileBytes), refusal, size, why);
    if (!fd) {
        return nullptr;
    }
    return std::unique_ptr<FileReader>(new FileReader(std::move(fd), size));
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::move(other.path_)), temp_(std::exchange(other.temp_, {}))
{
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept
{
    if (this != &other) {
        Discard();
        path_ = std::move(other.path_);
        temp_ = std::exchange(other.temp_, {});
    }
    return *this;
}

StagedFile::~StagedFile()
{
    Discard();
}

WriteResult WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes)
{
    WriteResult result;
    StagedFile staged = StagedFile::Write(path, bytes, result);
    return staged ? staged.Place() : result;
}

} // namespace quorvane
