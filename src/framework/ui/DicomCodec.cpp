// DICOM pictures.
#include "PictureCodecs.h"

namespace fw::codecs {

bool IsDicom(Bytes) { return false; }

std::optional<DecodedPicture> DecodeDicom(Bytes, const Budget&) { return std::nullopt; }

} // namespace fw::codecs
