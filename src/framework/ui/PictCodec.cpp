// PICT pictures.
#include "PictureCodecs.h"

namespace fw::codecs {

bool IsPict(Bytes) { return false; }

std::optional<DecodedPicture> DecodePict(Bytes, const Budget&) { return std::nullopt; }

} // namespace fw::codecs
