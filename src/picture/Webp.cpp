#include "picture/Webp.h"

namespace quorvane {

std::unique_ptr<PictureSource> OpenWebp(ByteReader& /*file*/, LoadError& error, const std::atomic<bool>* /*stop*/)
{
    error = {LoadReason::WebpNotWebp, {}};
    return nullptr;
}

} // namespace quorvane
