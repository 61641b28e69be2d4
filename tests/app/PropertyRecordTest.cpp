// The window's design-time property records, decoded entry by entry against the property
// tables of the framework's classes, and the refusal of damaged records.
#include "ProgramHarness.h"
#include "framework/ui/PropertyRecord.h"
#include "window/PropertyRecords.h"

#include <gtest/gtest.h>

using namespace fw;

namespace {

struct RecordCase {
    const char* name;
    std::string_view record;
    ClassTable* (*cls)();
    size_t entries;
    size_t bytes;
};

template <typename T>
ClassTable* TableOf() { return T::Lookup(); }

std::vector<RecordCase> Cases()
{
    return {
        {"Window1", PropertyRecords::Window1, &TableOf<Window1>, 21, 285},
        {"HintField", PropertyRecords::HintField, &TableOf<EditField>, 40, 485},
        {"FileList", PropertyRecords::FileList, &TableOf<Listbox>, 45, 700},
        {"ScanButton", PropertyRecords::ScanButton, &TableOf<PushButton>, 25, 304},
        {"FolderName", PropertyRecords::FolderName, &TableOf<StaticText>, 28, 337},
        {"ExportButton", PropertyRecords::ExportButton, &TableOf<PushButton>, 25, 306},
        {"PreviewCanvas", PropertyRecords::PreviewCanvas, &TableOf<Canvas>, 21, 263},
        {"PreviewCheckBox", PropertyRecords::PreviewCheckBox, &TableOf<CheckBox>, 26, 326},
        {"UseHintCheckBox", PropertyRecords::UseHintCheckBox, &TableOf<CheckBox>, 26, 350},
    };
}

} // namespace

TEST(PropertyRecords, EachDecodesEntryByEntryAndEndsAtItsLastByte)
{
    for (const RecordCase& c : Cases()) {
        std::vector<DecodedProperty> entries = DecodePropertyRecord(c.cls(), c.record);
        EXPECT_EQ(entries.size(), c.entries) << c.name;
        EXPECT_EQ(c.record.size(), c.bytes) << c.name;
        size_t at = 0;
        for (const DecodedProperty& e : entries) {
            EXPECT_EQ(e.begin, at) << c.name << " " << e.property->name; // no gap between entries
            at = e.end;
        }
        EXPECT_EQ(at, c.bytes) << c.name;
        if (c.cls() != Window1::Lookup()) {
            EXPECT_EQ(entries.front().property->name, "Name") << c.name;
            EXPECT_EQ(entries.front().value.s, c.name);
            EXPECT_EQ(entries[1].value.i, INT32_MIN) << c.name; // Index
            EXPECT_EQ(entries.back().property->name, "InitialParent") << c.name;
            EXPECT_EQ(entries.back().value.s, "") << c.name;
        }
    }
}

TEST(PropertyRecords, ValuesComeOutAsWritten)
{
    auto window = DecodePropertyRecord(Window1::Lookup(), PropertyRecords::Window1);
    EXPECT_EQ(window[1].property->name, "Width");
    EXPECT_EQ(window[1].value.i, 1000);
    EXPECT_EQ(window[10].property->name, "BackColor");
    EXPECT_EQ(window[10].value.rgb[0], 255);
    EXPECT_EQ(window[11].value.s, "Zorlin File Sorter");
    EXPECT_EQ(window[18].property->name, "MaximizeButton");
    EXPECT_FALSE(window[18].value.b);

    auto list = DecodePropertyRecord(Listbox::Lookup(), PropertyRecords::FileList);
    EXPECT_EQ(list[21].property->name, "InitialValue");
    EXPECT_EQ(list[21].value.s, "File\tName\tFolder1\tFolder2\tFolder3\tAdditional Path");
    EXPECT_EQ(list[22].value.i, -1); // HeadingIndex
    EXPECT_EQ(list[24].property->name, "ScrollBarVertical");
    EXPECT_EQ(list[31].value.i, 10); // TextSize
}

TEST(PropertyRecords, ATruncatedRecordIsRefusedAndNothingIsApplied)
{
    for (const RecordCase& c : Cases()) {
        std::vector<size_t> ends;
        for (const DecodedProperty& e : DecodePropertyRecord(c.cls(), c.record))
            ends.push_back(e.end);
        for (size_t cut = 1; cut < c.record.size(); ++cut) {
            bool atBoundary = std::find(ends.begin(), ends.end(), cut) != ends.end();
            // A copy of exactly the truncated length, so that reading past it is caught by the
            // sanitizers rather than finding the rest of the record.
            std::string copy(c.record.substr(0, cut));
            if (atBoundary)
                EXPECT_NO_THROW(DecodePropertyRecord(c.cls(), copy)) << c.name << " cut at " << cut;
            else
                EXPECT_THROW(DecodePropertyRecord(c.cls(), copy), UnsupportedFormatException)
                    << c.name << " cut at " << cut;
        }
    }
}

TEST(PropertyRecords, DamagedRecordsAreRefused)
{
    ClassTable* cb = CheckBox::Lookup();
    EXPECT_THROW(DecodePropertyRecord(cb, std::string("Colour \x01", 8)), UnsupportedFormatException);
    EXPECT_THROW(DecodePropertyRecord(cb, std::string("Value", 5)), UnsupportedFormatException);
    EXPECT_THROW(DecodePropertyRecord(cb, std::string(" Value \x01", 8)), UnsupportedFormatException);
    // A text whose length runs past the end of the record.
    EXPECT_THROW(DecodePropertyRecord(cb, std::string("Caption \xff\xff\xff\xf0" "abc", 15)),
                 UnsupportedFormatException);
    // A property of another class.
    EXPECT_THROW(DecodePropertyRecord(cb, std::string("ColumnCount \x00\x00\x00\x06", 16)),
                 UnsupportedFormatException);
    EXPECT_TRUE(DecodePropertyRecord(cb, "").empty());
    try {
        DecodePropertyRecord(cb, std::string("Bogus \x01", 7));
        FAIL();
    } catch (const UnsupportedFormatException& e) {
        EXPECT_NE(std::string(e.what()).find("Bogus"), std::string::npos); // says what is wrong
    }
}

TEST(PropertyRecords, WhatTheWindowCannotShowIsKept)
{
    harness::RunProgram([](Window1& w) {
        const PropertyValue* tab = w.HintField()->Kept("TabIndex");
        ASSERT_NE(tab, nullptr);
        EXPECT_EQ(tab->i, 5);
        EXPECT_EQ(w.FileList()->Kept("TabIndex")->i, 0);
        EXPECT_EQ(w.FileList()->Kept("_ScrollWidth")->i, -1);
        const PropertyValue* back = w.Kept("BackColor");
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->rgb[2], 255);
        EXPECT_EQ(w.Kept("NoSuchProperty"), nullptr);
    });
}

TEST(PropertyRecords, ARefusedRecordChangesNothing)
{
    harness::RunProgram([](Window1& w) {
        Ref<CheckBox> box = w.UseHintCheckBox();
        std::string record("Caption \x00\x00\x00\x03" "abcValue \x01" "Bogus \x01", 29);
        EXPECT_THROW(SetProperties(*box, record), UnsupportedFormatException);
        EXPECT_EQ(box->Caption(), "Only show files whose names include:");
        EXPECT_FALSE(box->Value());
    });
}
