// Byte-level checks of the window's property records. The records are compiled in directly so
// this runs without the UI library; the full decode is checked where the window is built.
#include "window/PropertyRecords.cpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

using namespace std::string_view_literals;

namespace {

std::string Int32Entry(std::string_view name, int32_t value)
{
    auto u = static_cast<uint32_t>(value);
    std::string r(name);
    r += ' ';
    for (int shift = 24; shift >= 0; shift -= 8)
        r += static_cast<char>((u >> shift) & 0xff);
    return r;
}

std::string FalseEntry(std::string_view name)
{
    std::string r(name);
    r += ' ';
    r += '\0';
    return r;
}

std::string StringEntry(std::string_view name, std::string_view text)
{
    return Int32Entry(name, static_cast<int32_t>(text.size())) + std::string(text);
}

struct ControlRecord {
    std::string_view bytes;
    std::string_view name;
    int32_t left, top, width, height, tabIndex;
    size_t size;
};

} // namespace

TEST(PropertyRecords, SizesAndControlFrames)
{
    EXPECT_EQ(PropertyRecords::Window1.size(), 285u);

    const ControlRecord controls[] = {
        {PropertyRecords::HintField, "HintField", 630, 360, 225, 22, 5, 485},
        {PropertyRecords::FileList, "FileList", 20, 34, 679, 307, 0, 700},
        {PropertyRecords::ScanButton, "ScanButton", 20, 360, 150, 20, 1, 304},
        {PropertyRecords::FolderName, "FolderName", 20, 6, 172, 20, 2, 337},
        {PropertyRecords::ExportButton, "ExportButton", 190, 360, 150, 20, 3, 306},
        {PropertyRecords::PreviewCanvas, "PreviewCanvas", 724, 34, 256, 307, 6, 263},
        {PropertyRecords::PreviewCheckBox, "PreviewCheckBox", 724, 6, 151, 20, 7, 326},
        {PropertyRecords::UseHintCheckBox, "UseHintCheckBox", 350, 360, 269, 20, 4, 350},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_EQ(c.bytes.size(), c.size);
        // Every control record opens with the same twelve entries; Index is "not in an array".
        std::string head = StringEntry("Name", c.name) + std::string("Index \x80\x00\x00\x00"sv) +
                           Int32Entry("Left", c.left) + Int32Entry("Top", c.top) +
                           Int32Entry("Width", c.width) + Int32Entry("Height", c.height) +
                           FalseEntry("LockLeft") + FalseEntry("LockTop") + FalseEntry("LockRight") +
                           FalseEntry("LockBottom") + Int32Entry("TabPanelIndex", 0) +
                           Int32Entry("TabIndex", c.tabIndex);
        EXPECT_TRUE(c.bytes.starts_with(head));
        EXPECT_TRUE(c.bytes.ends_with("InitialParent \x00\x00\x00\x00"sv));
        EXPECT_EQ(c.bytes.find("Index \x80\x00\x00\x00"sv), 4 + 1 + 4 + c.name.size());
    }
}

TEST(PropertyRecords, ExactByteRuns)
{
    struct Run {
        std::string_view record;
        std::string_view bytes;
    };
    const Run runs[] = {
        {PropertyRecords::Window1, "Placement \x00\x00\x00\x00Width \x00\x00\x03\xe8Height \x00\x00\x01\x90"sv},
        {PropertyRecords::Window1, "MaxWidth \x00\x00\x7d\x00MaxHeight \x00\x00\x7d\x00"sv},
        {PropertyRecords::Window1, "BackColor \xff\xff\xffTitle \x00\x00\x00\x12Zorlin File SorterVisible \x01"sv},
        {PropertyRecords::Window1, "MinimizeButton \x01MacProcID \x00\x00\x00\x00"sv},
        {PropertyRecords::FileList,
         "InitialValue \x00\x00\x00\x31"
         "File\tName\tFolder1\tFolder2\tFolder3\tAdditional PathHeadingIndex \xff\xff\xff\xff"sv},
        {PropertyRecords::FileList, "ScrollBarVertical \x01"sv},
        {PropertyRecords::FileList, "DefaultRowHeight \xff\xff\xff\xff_ScrollWidth \xff\xff\xff\xff"
                                    "_ScrollOffset \x00\x00\x00\x00"sv},
        {PropertyRecords::FileList, "ColumnCount \x00\x00\x00\x06" "ColumnWidths \x00\x00\x00\x00"sv},
        {PropertyRecords::FileList, "TextFont \x00\x00\x00\x06SystemTextSize \x00\x00\x00\x0a"sv},
        {PropertyRecords::HintField, "TextColor \x00\x00\x00" "BackColor \xff\xff\xff" "Enabled \x01"
                                     "Format \x00\x00\x00\x00"sv},
        {PropertyRecords::HintField, "Text \x00\x00\x00\x00Mask \x00\x00\x00\x00"sv},
        {PropertyRecords::ScanButton, "Caption \x00\x00\x00\x0eScan Folder...Default \x00"sv},
        {PropertyRecords::ExportButton, "Caption \x00\x00\x00\x0e" "Export List...Default \x00"sv},
        {PropertyRecords::FolderName, "Text \x00\x00\x00\x00TextAlign \x00\x00\x00\x00"sv},
        {PropertyRecords::PreviewCanvas, "AcceptFocus \x00" "AcceptTabs \x00" "EraseBackground \x01"sv},
        {PropertyRecords::PreviewCheckBox, "Caption \x00\x00\x00\x0cShow previewEnabled \x01"sv},
        {PropertyRecords::UseHintCheckBox,
         "Caption \x00\x00\x00\x24Only show files whose names include:Enabled \x01"sv},
        {PropertyRecords::UseHintCheckBox, "Value \x00" "DataSource \x00\x00\x00\x00"
                                           "DataField \x00\x00\x00\x00"sv},
    };
    for (const auto& r : runs) {
        size_t at = r.record.find(r.bytes);
        EXPECT_NE(at, std::string_view::npos) << testing::PrintToString(std::string(r.bytes));
        EXPECT_EQ(r.record.rfind(r.bytes), at) << "run occurs twice";
    }
    EXPECT_TRUE(PropertyRecords::Window1.starts_with("Placement "sv));
}
