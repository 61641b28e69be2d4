// The table of decoders, tried in turn by content. Each entry's sniff is a cheap look at the
// first bytes; a decoder that claims a file and then gives no picture lets the next claimant
// try, so a file that carries two formats' marks shows as the one it really holds.
#include "RasterCodecs.h"

namespace fw::pictures {
namespace {

struct Decoder {
    bool (*sniff)(Bytes file);
    std::optional<DecodedPicture> (*decode)(Bytes file, const Budget& budget);
};

// Qt's readers judge the content themselves, so their entry claims every file.
bool AnyFile(Bytes) { return true; }

// The formats with decoders of their own first, then what Qt's readers claim, then the formats
// whose marks are the weakest.
constexpr Decoder kDecoders[] = {
    {IsJpeg, DecodeJpeg}, {IsPng, DecodePng},   {IsTiff, DecodeTiff},
    {AnyFile, DecodeWithQt}, {IsDicom, DecodeDicom}, {IsPict, DecodePict},
};

bool Shows(const std::optional<DecodedPicture>& decoded)
{
    return decoded && !decoded->image.isNull() && decoded->width > 0 && decoded->height > 0;
}

} // namespace

std::optional<DecodedPicture> DecodeAny(Bytes file, const Budget& budget)
{
    if (!file.data || file.size == 0)
        return std::nullopt;
    try {
        for (const Decoder& d : kDecoders) {
            if (budget.Expired())
                break;
            if (!d.sniff(file))
                continue;
            std::optional<DecodedPicture> decoded = d.decode(file, budget);
            if (Shows(decoded))
                return decoded;
        }
    } catch (const std::exception&) { // memory or a thread that could not be had
    }
    return std::nullopt;
}

} // namespace fw::pictures
