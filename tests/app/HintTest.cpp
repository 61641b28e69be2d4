// The hint taken from a file name, and the filter's field and check box under real input.
#include "ProgramHarness.h"
#include "TreeBuilder.h"
#include "app/Module1.h"

#include <gtest/gtest.h>

#include <algorithm>

using harness::RunProgram;
using tree_builder::ListedNames;
using tree_builder::Scan;
using tree_builder::Tree;

namespace {

struct HintCase {
    const char* name;
    const char* hint;
};

const HintCase kHints[] = {
    {"X-123456.tif", "123456"},        // the usual scanner name
    {"X-123456_b.tif", "123456"},      // a second scan of the same slide
    {"ab123456cd.jpg", "123456"},      // six digits anywhere in a longer name
    {"x-654321.TIF", "654321"},        // the prefix and the extension in any letter case
    {"scan 123456.tif", "scan 123456"}, // the digits start past the last window tried
    {"a123456.tif", "a123456"},        // one window only, and it holds a letter
    {"a123456b", "123456"},            // the last window tried ends one before the end
    {"12345a9", "12345a9"},            // the sixth character of a window counts too
    {"A-X-123456.tif", "A-123456"},    // only the first "X-" goes
    {"X-X-1.tif", "X-1"},
    {"photo.tiff", "photof"},          // ".tif" goes even from inside ".tiff"
    {"X- 12.tif", "12"},               // what is left is trimmed
    {"  X-123456.tif  ", "123456"},    // the name is trimmed first
    {"12345.tif", "12345"},            // too short for a window
    {"", ""},
};

} // namespace

TEST(Hint, TheHintIsTheFirstSixDigitWindowOrTheTrimmedRest)
{
    auto run = RunProgram([&](Window1& w) {
        for (const HintCase& c : kHints) {
            w.MakeHint("X-999999.tif"); // something to replace, so that "" has to clear it
            w.MakeHint(c.name);
            EXPECT_EQ(Module1::gHintStrg.str(), c.hint) << '"' << c.name << '"';
            EXPECT_EQ(w.HintField()->Text().str(), c.hint) << '"' << c.name << '"';
        }
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Hint, ClickingARowTakesTheHintFromItsName)
{
    Tree t;
    t.Make({"X-123456_b.tif", "scan 123456.tif", "ab777777cd.jpg"});
    auto run = RunProgram([&](Window1& w) {
        Scan(w, t.Root());
        std::vector<std::string> names = ListedNames(w);
        ASSERT_EQ(names.size(), 3u);
        auto rowOf = [&](const char* name) { return int(std::find(names.begin(), names.end(), name) - names.begin()); };

        harness::ClickListRow(w.FileList(), rowOf("X-123456_b.tif"));
        EXPECT_EQ(w.FileList()->ListIndex(), rowOf("X-123456_b.tif"));
        EXPECT_EQ(Module1::gHintStrg.str(), "123456");
        EXPECT_EQ(w.HintField()->Text().str(), "123456");

        harness::ClickListRow(w.FileList(), rowOf("scan 123456.tif"));
        EXPECT_EQ(Module1::gHintStrg.str(), "scan 123456");
        EXPECT_EQ(w.HintField()->Text().str(), "scan 123456");

        harness::ClickListRow(w.FileList(), rowOf("ab777777cd.jpg"));
        EXPECT_EQ(Module1::gHintStrg.str(), "777777");

        // A selection the program makes is not the user's: the hint stays.
        w.FileList()->SetListIndex(rowOf("X-123456_b.tif"));
        EXPECT_EQ(Module1::gHintStrg.str(), "777777");
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(Hint, OnlyTheTenSingleDigitsAreNumericCharacters)
{
    for (const char* digit : {"0", "1", "5", "7", "9"})
        EXPECT_TRUE(Module1::PosNumericChar(digit)) << digit;
    for (const char* other : {"a", "", "77", " ", "07", "-", "\xd9\xa3" /* Arabic-Indic three */, "\xff"})
        EXPECT_FALSE(Module1::PosNumericChar(other)) << other;
}

TEST(HintField, TypingSetsTheFilterTextAndTheProgramsOwnTextDoesNot)
{
    auto run = RunProgram([&](Window1& w) {
        QWidget* field = harness::WidgetOf(w.HintField());
        QTest::keyClicks(field, "ab12");
        EXPECT_EQ(Module1::gHintStrg.str(), "ab12");
        QTest::keyClick(field, Qt::Key_Backspace);
        EXPECT_EQ(Module1::gHintStrg.str(), "ab1");

        w.HintField()->SetText("set by the program");
        EXPECT_EQ(Module1::gHintStrg.str(), "ab1");
        EXPECT_EQ(w.HintField()->Text().str(), "set by the program");

        // The field shows a hint the program made, and typing goes on from it.
        w.MakeHint("X-123456.tif");
        EXPECT_EQ(w.HintField()->Text().str(), "123456");
        QTest::keyClick(field, Qt::Key_End);
        QTest::keyClicks(field, "7");
        EXPECT_EQ(Module1::gHintStrg.str(), "1234567");
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(HintField, EachClickOnTheCheckBoxTogglesTheFilterOnce)
{
    auto run = RunProgram([&](Window1& w) {
        EXPECT_FALSE(Module1::gUseHint);
        EXPECT_FALSE(w.UseHintCheckBox()->Value());
        harness::Click(w.UseHintCheckBox());
        EXPECT_TRUE(Module1::gUseHint);
        EXPECT_TRUE(w.UseHintCheckBox()->Value());
        harness::Click(w.UseHintCheckBox());
        EXPECT_FALSE(Module1::gUseHint);
        EXPECT_FALSE(w.UseHintCheckBox()->Value());

        // The box follows the setting when the program shows it, without toggling it again.
        Module1::gUseHint = true;
        w.UpdateButtons();
        EXPECT_TRUE(w.UseHintCheckBox()->Value());
        EXPECT_TRUE(Module1::gUseHint);
        harness::Click(w.UseHintCheckBox());
        EXPECT_FALSE(Module1::gUseHint);
        EXPECT_FALSE(w.UseHintCheckBox()->Value());
    });
    EXPECT_TRUE(run.messages.empty());
}
