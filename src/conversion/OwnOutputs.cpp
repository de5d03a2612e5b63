#include "conversion/OwnOutputs.h"

namespace quorvane {

void OwnOutputs::Begin(bool receiverInSource)
{
    tracking_ = receiverInSource;
    unread_.clear();
    written_.clear();
}

std::optional<FileId> OwnOutputs::Identity(const std::string& path) const
{
    return tracking_ ? IdentityOf(path) : std::nullopt;
}

void OwnOutputs::Count(const std::string& path)
{
    if (const auto identity = Identity(path)) {
        unread_.insert(*identity);
    }
}

void OwnOutputs::Read(const std::string& path)
{
    if (const auto identity = Identity(path)) {
        unread_.erase(*identity);
    }
}

bool OwnOutputs::WouldReplaceUnread(const std::string& path) const
{
    const auto identity = Identity(path);
    return identity && unread_.count(*identity) != 0;
}

void OwnOutputs::Written(const std::string& path)
{
    if (const auto identity = Identity(path)) {
        written_.insert(*identity);
    }
}

bool OwnOutputs::IsOutput(const std::string& path) const
{
    const auto identity = Identity(path);
    return identity && written_.count(*identity) != 0;
}

} // namespace quorvane
