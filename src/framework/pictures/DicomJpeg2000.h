#pragma once
// JPEG 2000 frames of DICOM files. DCMTK's free edition has no JPEG 2000 codec, so this one,
// built on OpenJPEG, joins DCMTK's codec list: DicomImage then asks it for a frame as it asks
// the JPEG, JPEG-LS and RLE decoders, and treats what it gives as native pixel data.
namespace fw::pictures {

// Adds the decoder to DCMTK's codec list; once per process, before the first decode.
void RegisterJpeg2000Decoder();

} // namespace fw::pictures
