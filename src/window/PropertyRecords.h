#pragma once
// The main window's design-time properties, one record for the window and one per control,
// exactly as the window's layout stores them. A record is a run of entries with no header or
// terminator: the property name, one blank (0x20), then the value, whose form depends on the
// property: Int32 as four bytes big-endian, Boolean as one byte 00/01, colour as three bytes
// r g b, string as a four-byte big-endian length followed by that many bytes.
// The records contain NUL bytes; always use the views' sizes.
#include <string_view>

namespace PropertyRecords {

extern const std::string_view Window1;         // 285 bytes, 21 entries
extern const std::string_view HintField;       // 485 bytes, 40 entries
extern const std::string_view FileList;        // 700 bytes, 45 entries
extern const std::string_view ScanButton;      // 304 bytes, 25 entries
extern const std::string_view FolderName;      // 337 bytes, 28 entries
extern const std::string_view ExportButton;    // 306 bytes, 25 entries
extern const std::string_view PreviewCanvas;   // 263 bytes, 21 entries
extern const std::string_view PreviewCheckBox; // 326 bytes, 26 entries
extern const std::string_view UseHintCheckBox; // 350 bytes, 26 entries

} // namespace PropertyRecords
