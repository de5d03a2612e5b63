#include "picture/Heif.h"

namespace quorvane {

std::unique_ptr<PictureSource> OpenHeif(ByteReader& /*file*/, LoadError& error, const std::atomic<bool>* /*stop*/)
{
    error = {LoadReason::HeifNotHeif, {}};
    return nullptr;
}

} // namespace quorvane
