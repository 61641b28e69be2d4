// The mapped file as DCMTK input streams, and the look of a bare dataset.
#include "DicomInput.h"
#include "DicomFrameChecks.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcistrmb.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace fw::pictures {
namespace {

constexpr Uint32 kLoadedAtOnce = 4096; // longer values stay in the mapping until asked for

// A buffer stream over the mapping that, unlike DCMTK's own, can be opened again at any
// offset, so DCMTK leaves long values where they are. A compressed (deflated) dataset can't be
// entered in the middle, so its values are read at once.
class MappedStream : public DcmInputBufferStream {
public:
    MappedStream(const uint8_t* data, size_t size, offile_off_t start) : data_(data), size_(size)
    {
        setBuffer(data, offile_off_t(size));
        setEos();
        if (start > 0)
            skip(start);
    }

    DcmInputStreamFactory* newFactory() const override;

    OFCondition installCompressionFilter(E_StreamCompression type) override
    {
        OFCondition result = DcmInputBufferStream::installCompressionFilter(type);
        filtered_ = filtered_ || result.good();
        return result;
    }

private:
    const uint8_t* data_;
    size_t size_;
    bool filtered_ = false;
};

class MappedStreamFactory : public DcmInputStreamFactory {
public:
    MappedStreamFactory(const uint8_t* data, size_t size, offile_off_t offset) : data_(data), size_(size), offset_(offset) {}
    DcmInputStream* create() const override { return new MappedStream(data_, size_, offset_); }
    DcmInputStreamFactory* clone() const override { return new MappedStreamFactory(*this); }
    DcmInputStreamFactoryType ident() const override { return DFT_DcmInputFileStreamFactory; }

private:
    const uint8_t* data_;
    size_t size_;
    offile_off_t offset_;
};

DcmInputStreamFactory* MappedStream::newFactory() const
{
    return filtered_ ? nullptr : new MappedStreamFactory(data_, size_, tell());
}

// ---- A bare dataset's first elements ----

struct Element {
    uint16_t group = 0, number = 0;
    size_t next = 0; // offset of the following element
};

uint16_t Read16(const uint8_t* p, bool big) { return big ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]); }

uint32_t Read32(const uint8_t* p, bool big)
{
    return big ? uint32_t(Read16(p, true)) << 16 | Read16(p + 2, true) : uint32_t(Read16(p + 2, false)) << 16 | Read16(p, false);
}

bool LongVr(const uint8_t* vr)
{
    static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    for (const char* v : kLong)
        if (std::memcmp(vr, v, 2) == 0)
            return true;
    return false;
}

// One element header at `at`: explicit when `explicitVr`, its value wholly inside the file
// (a sequence of undefined length ends the look with what was seen).
bool ReadElement(const uint8_t* data, size_t size, size_t at, bool explicitVr, bool big, Element& e)
{
    if (size < at + 8)
        return false;
    const uint8_t* p = data + at;
    e.group = Read16(p, big);
    e.number = Read16(p + 2, big);
    uint64_t length = 0, header = 8;
    if (!explicitVr) {
        length = Read32(p + 4, big);
    } else if (!std::isupper(p[4]) || !std::isupper(p[5])) {
        return false;
    } else if (LongVr(p + 4)) {
        if (size < at + 12)
            return false;
        header = 12;
        length = Read32(p + 8, big);
    } else {
        length = Read16(p + 6, big);
    }
    if (length == 0xFFFFFFFFu) {
        e.next = size;
        return true;
    }
    e.next = at + header + length;
    return e.next <= size;
}

bool TwoElements(const uint8_t* data, size_t size, bool explicitVr, bool big)
{
    Element first, second;
    if (!ReadElement(data, size, 0, explicitVr, big, first) || (first.group != 0x0002 && first.group != 0x0008))
        return false;
    if (first.next >= size)
        return first.next == size && size > 8;
    if (!ReadElement(data, size, first.next, explicitVr, big, second))
        return false;
    return second.group > first.group || (second.group == first.group && second.number > first.number);
}

// ---- Values of no known type ----

// The element alone, as explicit VR in the dataset's byte order, under the VR `known` gives it.
std::vector<Uint8> ElementBytes(const DcmTag& known, const Uint8* value, Uint32 length, bool big)
{
    std::vector<Uint8> out;
    const auto put16 = [&out, big](uint16_t v) {
        out.push_back(Uint8(big ? v >> 8 : v & 0xFF));
        out.push_back(Uint8(big ? v & 0xFF : v >> 8));
    };
    put16(known.getGTag());
    put16(known.getETag());
    out.push_back(Uint8(known.getVRName()[0]));
    out.push_back(Uint8(known.getVRName()[1]));
    if (known.getVR().usesExtendedLengthEncoding()) {
        put16(0);
        put16(uint16_t(big ? length >> 16 : length & 0xFFFF));
        put16(uint16_t(big ? length & 0xFFFF : length >> 16));
    } else {
        put16(uint16_t(length));
    }
    out.insert(out.end(), value, value + length);
    return out;
}

// The value of `element` read again under the dictionary's VR for its tag, in its place.
void Retype(DcmDataset& dataset, DcmElement& element, const DcmTag& known, bool big)
{
    Uint8* value = nullptr;
    const Uint32 length = element.getLength();
    if ((length > 0 && (element.getUint8Array(value).bad() || !value)) ||
        (length > 0xFFFF && !known.getVR().usesExtendedLengthEncoding()))
        return;
    std::vector<Uint8> bytes = ElementBytes(known, value, length, big);
    DcmInputBufferStream stream;
    stream.setBuffer(bytes.data(), offile_off_t(bytes.size()));
    stream.setEos();
    DcmDataset single;
    single.transferInit();
    const OFCondition read = single.read(stream, big ? EXS_BigEndianExplicit : EXS_LittleEndianExplicit);
    single.transferEnd();
    DcmElement* retyped = nullptr;
    if (read.bad() || single.findAndGetElement(known, retyped, OFFalse).bad() || !retyped)
        return;
    single.remove(retyped);
    dataset.insert(retyped, true); // the element of no known type goes
}

// Some writers give an element the VR "  " (or another no standard knows), which DCMTK keeps as
// bytes of no known type: a picture's Rows read so is no number at all. Where the dictionary
// knows the tag, the value is taken as what the dictionary says it is, as other readers do.
void RetypeUnknownValues(DcmDataset& dataset)
{
    const DcmXfer xfer(dataset.getOriginalXfer());
    if (!xfer.isExplicitVR())
        return;
    DcmObject* next = nullptr;
    for (DcmObject* o = dataset.nextInContainer(nullptr); o; o = next) {
        next = dataset.nextInContainer(o);
        if (o->ident() != EVR_UNKNOWN && o->ident() != EVR_UNKNOWN2B)
            continue;
        const DcmTag known(o->getTag().getXTag());
        if (known.getVR().isStandard() && known.getEVR() != EVR_SQ)
            Retype(dataset, *static_cast<DcmElement*>(o), known, xfer.getByteOrder() == EBO_BigEndian);
    }
}

// Without a transfer syntax in its meta header, a dataset is read in the encoding its first
// elements show, and compressed pixel data comes out as native data held in fragments. The
// first fragment tells which compression it is, and the fragments are taken as that.
void AdoptCompression(DcmDataset& dataset)
{
    DcmElement* element = nullptr;
    if (DcmXfer(dataset.getOriginalXfer()).isEncapsulated() ||
        dataset.findAndGetElement(DCM_PixelData, element, OFFalse).bad() || !element || element->ident() != EVR_PixelData)
        return;
    auto& pixels = static_cast<DcmPixelData&>(*element);
    E_TransferSyntax stored = EXS_Unknown;
    const DcmRepresentationParameter* parameter = nullptr;
    pixels.getOriginalRepresentationKey(stored, parameter);
    DcmPixelSequence* fragments = nullptr;
    DcmPixelItem* first = nullptr;
    Uint8* bytes = nullptr;
    if (pixels.getEncapsulatedRepresentation(stored, parameter, fragments).bad() || !fragments ||
        fragments->getItem(first, 1).bad() || !first || first->getUint8Array(bytes).bad() || !bytes)
        return;
    const E_TransferSyntax compression = CompressionOf(bytes, first->getLength());
    if (compression == EXS_Unknown)
        return;
    auto* moved = new DcmPixelSequence(DCM_PixelSequenceTag);
    for (DcmPixelItem* item = nullptr; fragments->card() > 0 && fragments->remove(item, 0).good();)
        moved->insert(item);
    pixels.putOriginalRepresentation(compression, nullptr, moved); // drops the emptied sequence
    dataset.updateOriginalXfer();
}

} // namespace

bool ReadMapped(const uint8_t* data, size_t size, DcmFileFormat& format)
{
    MappedStream stream(data, size, 0);
    format.transferInit();
    OFCondition result = format.read(stream, EXS_Unknown, EGL_noChange, kLoadedAtOnce);
    format.transferEnd();
    if (result.bad() || format.getDataset() == nullptr)
        return false;
    RetypeUnknownValues(*format.getDataset());
    AdoptCompression(*format.getDataset());
    return true;
}

bool LooksLikeBareDataset(const uint8_t* data, size_t size)
{
    if (!data || size < 16)
        return false;
    return TwoElements(data, size, true, false) || TwoElements(data, size, false, false) ||
           TwoElements(data, size, true, true);
}

} // namespace fw::pictures
