#include "conversion/OwnOutputs.h"

namespace quorvane {

void OwnOutputs::Begin(bool receiverInSource)
{
    tracking_ = receiverInSource;
    counted_.clear();
    written_.clear();
    replaced_.clear();
}

void OwnOutputs::Count(const std::string& path)
{
    if (auto identity = tracking_ ? IdentityOf(path) : std::nullopt) {
        counted_.insert(*identity);
    }
}

bool OwnOutputs::Meet(const std::string& path)
{
    const auto identity = tracking_ ? IdentityOf(path) : std::nullopt;
    return identity && counted_.erase(*identity) != 0;
}

OwnOutputs::Kind OwnOutputs::Classify(const std::string& path, bool counted)
{
    const auto identity = tracking_ ? IdentityOf(path) : std::nullopt;
    if (!identity || written_.count(*identity) == 0) {
        return Kind::Picture;
    }
    return counted || replaced_.erase(*identity) != 0 ? Kind::ReplacedPicture : Kind::NewOutput;
}

std::optional<FileId> OwnOutputs::Before(const std::string& path) const
{
    return tracking_ ? IdentityOf(path) : std::nullopt;
}

void OwnOutputs::Written(const std::string& path, const std::optional<FileId>& before)
{
    if (auto identity = tracking_ ? IdentityOf(path) : std::nullopt) {
        written_.insert(*identity);
        if (before && counted_.erase(*before) != 0) {
            replaced_[*identity] = path;
        }
    }
}

std::vector<std::string> OwnOutputs::TakeUnread()
{
    std::vector<std::string> paths;
    for (auto& [identity, path] : replaced_) {
        paths.push_back(std::move(path));
    }
    replaced_.clear();
    return paths;
}

} // namespace quorvane
