#include "conversion/OwnOutputs.h"

namespace quorvane {

void OwnOutputs::Begin(bool receiverInSource)
{
    tracking_ = receiverInSource;
    unread_.clear();
    written_.clear();
}

void OwnOutputs::Count(const std::string& path)
{
    if (auto identity = tracking_ ? IdentityOf(path) : std::nullopt) {
        unread_.insert(*identity);
    }
}

void OwnOutputs::Read(const std::string& path)
{
    if (auto identity = tracking_ ? IdentityOf(path) : std::nullopt) {
        unread_.erase(*identity);
    }
}

bool OwnOutputs::WouldReplaceUnread(const std::string& path) const
{
    const auto identity = tracking_ ? IdentityOf(path) : std::nullopt;
    return identity && unread_.count(*identity) != 0;
}

void OwnOutputs::Written(const std::string& path)
{
    if (auto identity = tracking_ ? IdentityOf(path) : std::nullopt) {
        written_.insert(*identity);
    }
}

bool OwnOutputs::IsOutput(const std::string& path) const
{
    const auto identity = tracking_ ? IdentityOf(path) : std::nullopt;
    return identity && written_.count(*identity) != 0;
}

} // namespace quorvane
