#pragma once
// Reading a DICOM file from its mapped bytes. Values larger than a few kilobytes (the pixel
// data, above all) are not copied while the file is parsed: DCMTK reads them later, and only
// the parts it needs, straight from the mapping.
#include <cstddef>
#include <cstdint>

class DcmFileFormat;

namespace fw::pictures {

// Parses the preamble and meta header when present, then the dataset (in the encoding its
// first elements show when the meta header names none); false for a file that is damaged or
// cut short. Values written with a VR no standard knows are taken as the dictionary's VR.
bool ReadMapped(const uint8_t* data, size_t size, DcmFileFormat& format);

// A dataset without preamble or meta header: its first two elements are of group 0x0002 or
// 0x0008, in ascending order and within the file, in implicit or explicit VR little endian
// or explicit VR big endian.
bool LooksLikeBareDataset(const uint8_t* data, size_t size);

} // namespace fw::pictures
