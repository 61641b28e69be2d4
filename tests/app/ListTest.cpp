// The list as the user sees it: rows striped white and light grey by position, the number
// column sorted by number and every other column by its texts, case ignored and digits read as
// numbers; and a sort ends with every row kept whole whatever its comparison answers.
#include "ListSupport.h"

#include "framework/runtime/StringFunctions.h"

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using list_support::Column;
using list_support::CountingWindow1;
using list_support::Fill;
using list_support::Painted;
using list_support::RowColour;
using list_support::RunCounting;
using list_support::TestRow;

namespace {

constexpr QRgb kWhite = 0xFFFFFF, kGrey = 0xF0F0F0;

// The colours of the first rows of the list, and of the rows below the last.
std::vector<QRgb> Stripes(Window1& w, int rows)
{
    QImage painted = Painted(w);
    std::vector<QRgb> colours;
    for (int r = 0; r < rows; ++r)
        colours.push_back(RowColour(w, painted, r));
    return colours;
}

bool IsHighlight(QRgb c)
{
    QPalette p = QApplication::palette();
    return c == (p.color(QPalette::Active, QPalette::Highlight).rgb() & 0xFFFFFF) ||
           c == (p.color(QPalette::Inactive, QPalette::Highlight).rgb() & 0xFFFFFF);
}

const std::vector<TestRow> kThree = {{"1", 1, "b.png"}, {"2", 2, "c.png"}, {"3", 3, "a.png"}};

} // namespace

TEST(ListStripes, EvenRowsWhiteOddRowsGreyAndTheAreaBelowWhite)
{
    auto run = RunCounting([&](CountingWindow1& w) {
        EXPECT_EQ(Stripes(w, 4), std::vector<QRgb>(4, kWhite)) << "an empty list";

        Fill(w, kThree);
        EXPECT_EQ(Stripes(w, 6), (std::vector<QRgb>{kWhite, kGrey, kWhite, kWhite, kWhite, kWhite}));
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(ListStripes, ASelectedRowShowsTheListsHighlightAndStripesFollowASort)
{
    auto run = RunCounting([&](CountingWindow1& w) {
        Fill(w, kThree);
        harness::ClickListRow(w.FileList(), 1);
        std::vector<QRgb> shown = Stripes(w, 3);
        EXPECT_EQ(shown[0], kWhite);
        EXPECT_TRUE(IsHighlight(shown[1])) << std::hex << shown[1];
        EXPECT_EQ(shown[2], kWhite);

        // By name: a.png (row 2) comes first, the selected c.png last; stripes go by position.
        harness::ClickHeading(w.FileList(), 1);
        EXPECT_EQ(Column(w, 1), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
        EXPECT_EQ(w.FileList()->ListIndex(), 2);
        shown = Stripes(w, 3);
        EXPECT_EQ(shown[0], kWhite);
        EXPECT_EQ(shown[1], kGrey);
        EXPECT_TRUE(IsHighlight(shown[2])) << std::hex << shown[2];
        EXPECT_EQ(w.changes, 1) << "a sort moves the selection with its row, unannounced";
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(ListSort, TheNumberColumnSortsByNumberAndASecondClickReverses)
{
    auto run = RunCounting([&](CountingWindow1& w) {
        // Texts whose own order is the opposite of the numbers' order.
        Fill(w, {{"a", 100, "x"}, {"b", 10, "x"}, {"c", 9, "x"}, {"d", 2, "x"}});
        harness::ClickHeading(w.FileList(), 0);
        EXPECT_EQ(Column(w, 0), (std::vector<std::string>{"d", "c", "b", "a"}));
        harness::ClickHeading(w.FileList(), 0);
        EXPECT_EQ(Column(w, 0), (std::vector<std::string>{"a", "b", "c", "d"}));
        harness::ClickHeading(w.FileList(), 0);
        EXPECT_EQ(Column(w, 0), (std::vector<std::string>{"d", "c", "b", "a"}));
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(ListSort, EqualNumbersCompareAsSmallerEitherWayAndStillEndTheSort)
{
    auto run = RunCounting([&](CountingWindow1& w) {
        std::vector<TestRow> rows;
        for (int i = 0; i < 40; ++i)
            rows.push_back({"t" + std::to_string(i), 1 + i % 3, "x"});
        Fill(w, rows);
        fw::Ref<fw::Listbox> list = w.FileList();
        int32_t result = 7;
        EXPECT_TRUE(w.FileList_CompareRows(*list, 0, 3, 0, result)); // both 1
        EXPECT_EQ(result, -1);
        result = 7;
        EXPECT_TRUE(w.FileList_CompareRows(*list, 3, 0, 0, result));
        EXPECT_EQ(result, -1);
        result = 7;
        EXPECT_TRUE(w.FileList_CompareRows(*list, 1, 0, 0, result)); // 2 against 1
        EXPECT_EQ(result, 1);
        result = 7;
        EXPECT_FALSE(w.FileList_CompareRows(*list, 1, 0, 1, result)); // not the number column
        EXPECT_EQ(result, 0);

        for (int click = 0; click < 3; ++click) {
            harness::ClickHeading(list, 0);
            std::vector<int32_t> numbers;
            for (int32_t r = 0; r < list->ListCount(); ++r)
                numbers.push_back(list->CellTag(r, 0).ToInt32());
            ASSERT_EQ(numbers.size(), rows.size());
            EXPECT_TRUE(click % 2 == 0 ? std::is_sorted(numbers.begin(), numbers.end())
                                       : std::is_sorted(numbers.rbegin(), numbers.rend()));
            std::vector<std::string> texts = Column(w, 0);
            std::sort(texts.begin(), texts.end());
            EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end()) << "no row twice";
        }
    });
    EXPECT_TRUE(run.messages.empty());
}

TEST(ListSort, OtherColumnsSortByTextCaseIgnoredAndDigitsAsNumbers)
{
    const std::vector<std::string> natural = {"apple.png", "Banana.png", "IMG2.png", "img9.png", "IMG10.png",
                                              "img100.png", "Img100b.png", "zebra 7.png", "Zebra 07x.png"};
    auto run = RunCounting([&](CountingWindow1& w) {
        std::vector<TestRow> rows;
        std::vector<size_t> shuffled = {5, 2, 8, 0, 7, 3, 1, 6, 4};
        for (size_t i = 0; i < shuffled.size(); ++i)
            rows.push_back({std::to_string(i + 1), int32_t(i + 1), natural[shuffled[i]],
                            "Folder " + std::to_string(10 - i)});
        Fill(w, rows);
        harness::ClickHeading(w.FileList(), 1);
        EXPECT_EQ(Column(w, 1), natural);
        harness::ClickHeading(w.FileList(), 1);
        EXPECT_EQ(Column(w, 1), std::vector<std::string>(natural.rbegin(), natural.rend()));

        harness::ClickHeading(w.FileList(), 2);
        std::vector<std::string> folders = Column(w, 2);
        EXPECT_EQ(folders.front(), "Folder 2");
        EXPECT_EQ(folders.back(), "Folder 10");
        EXPECT_TRUE(std::is_sorted(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
            return fw::NaturalCompare(a, b) < 0;
        }));
    });
    EXPECT_TRUE(run.messages.empty());
}

// Rows that already come in order, reversed or in long interleaved stretches are sorted with
// few questions, every one of them still put to the window's handler.
TEST(ListSort, RowsInRunsCostFewComparisonsAndEachIsTheHandlers)
{
    constexpr int kRows = 20000;
    struct Shape {
        const char* what;
        std::function<int(int)> number; // of row i
        long most;                      // comparisons allowed
    };
    const Shape shapes[] = {
        {"in order", [](int i) { return i; }, kRows},
        {"reversed", [](int i) { return kRows - i; }, kRows},
        {"equal numbers", [](int) { return 5; }, kRows},
        {"two runs interleaved in stretches of 500",
         [](int i) { return i < kRows / 2 ? i / 500 * 1000 + i % 500 : (i - kRows / 2) / 500 * 1000 + 500 + i % 500; },
         kRows * 11 / 10},
    };
    auto run = RunCounting([&](CountingWindow1& w) {
        fw::Ref<fw::Listbox> list = w.FileList();
        long calls = 0;
        w.compare = [&](int32_t a, int32_t b, int32_t column, int32_t& result) {
            ++calls;
            return w.Window1::FileList_CompareRows(*list, a, b, column, result);
        };
        for (const Shape& shape : shapes) {
            std::vector<TestRow> rows;
            for (int i = 0; i < kRows; ++i)
                rows.push_back({std::to_string(i), shape.number(i), "x"});
            Fill(w, rows);
            calls = 0;
            list->Sort(0, 1);
            EXPECT_GT(calls, 0) << shape.what;
            EXPECT_LE(calls, shape.most) << shape.what;
            std::vector<int32_t> numbers;
            for (int32_t r = 0; r < kRows; ++r)
                numbers.push_back(list->CellTag(r, 0).ToInt32());
            EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end())) << shape.what;
            std::vector<std::string> texts = Column(w, 0);
            std::sort(texts.begin(), texts.end());
            EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end()) << shape.what << ": no row twice";
        }
    });
    EXPECT_TRUE(run.messages.empty());
}

// A comparison that answers at random, out of range and sometimes not at all: every sort ends
// and leaves each row whole, every row once.
TEST(ListSort, AnyAnswerOfTheComparisonEndsTheSortWithEveryRowKept)
{
    constexpr int kRows = 10000;
    std::mt19937 random(7);
    auto run = RunCounting([&](CountingWindow1& w) {
        w.compare = [&](int32_t, int32_t, int32_t, int32_t& result) {
            const int32_t answers[] = {-1, 0, 1, INT32_MIN, INT32_MAX, 5};
            result = answers[random() % 6];
            return random() % 5 != 0;
        };
        std::vector<TestRow> rows;
        for (int i = 0; i < kRows; ++i)
            rows.push_back({std::to_string(i), i, "name " + std::to_string(i * 7919 % kRows), std::to_string(i)});
        Fill(w, rows);
        fw::Ref<fw::Listbox> list = w.FileList();
        for (int column : {0, 1, 0, 2, 1}) {
            harness::ClickHeading(list, column);
            ASSERT_EQ(list->ListCount(), kRows);
            std::vector<bool> seen(kRows, false);
            for (int32_t r = 0; r < kRows; ++r) {
                int32_t n = list->CellTag(r, 0).ToInt32();
                ASSERT_TRUE(n >= 0 && n < kRows && !seen[size_t(n)]) << "row " << r;
                seen[size_t(n)] = true;
                ASSERT_EQ(list->Cell(r, 0).str(), std::to_string(n));
                ASSERT_EQ(list->Cell(r, 2).str(), std::to_string(n));
            }
        }
    });
    EXPECT_TRUE(run.messages.empty());
}

namespace {

// Compares on the number in column 0's tags.
bool ByNumber(fw::Listbox& list, int32_t a, int32_t b, int32_t column, int32_t& result)
{
    result = 0;
    if (column != 0)
        return false;
    result = list.CellTag(a, 0).ToInt32() > list.CellTag(b, 0).ToInt32() ? 1 : -1;
    return true;
}

std::vector<TestRow> Scrambled(int n)
{
    std::vector<TestRow> rows;
    for (int i = 0; i < n; ++i) {
        int number = (i * 7919) % n;
        rows.push_back({std::to_string(number), number, "n" + std::to_string(n - number)});
    }
    return rows;
}

} // namespace

// While a long sort lets the window answer, the list keeps its order, a heading click waits
// for the sort and is then carried out, and nothing of it is lost.
TEST(ListSort, AHeadingClickDuringASortWaitsForIt)
{
    constexpr int kRows = 2000;
    int calls = 0, callsAtClick = -1;
    std::string firstAtClick;
    auto run = RunCounting([&](CountingWindow1& w) {
        harness::TurnWhen turn([] { return true; }); // the sort lets the loop run at each of its yields
        fw::Ref<fw::Listbox> list = w.FileList();
        std::string first;
        w.compare = [&](int32_t a, int32_t b, int32_t column, int32_t& result) {
            if (++calls == 1) // a click that comes while the sort runs
                QTimer::singleShot(0, [&] {
                    callsAtClick = calls;
                    firstAtClick = list->Cell(0, 0).str();
                    harness::ClickHeading(list, 1);
                    EXPECT_EQ(list->Cell(0, 0).str(), first) << "the click waits";
                });
            return ByNumber(*list, a, b, column, result);
        };
        Fill(w, Scrambled(kRows));
        first = list->Cell(0, 0).str();
        harness::ClickHeading(list, 0);
        EXPECT_GT(callsAtClick, 0);
        EXPECT_LT(callsAtClick, calls);
        EXPECT_EQ(firstAtClick, first);
        std::vector<std::string> names = Column(w, 1);
        ASSERT_EQ(names.size(), size_t(kRows));
        EXPECT_EQ(names.front(), "n1");
        EXPECT_EQ(names.back(), "n" + std::to_string(kRows));
    });
    EXPECT_TRUE(run.messages.empty());
}

// Rows replaced while a sort lets the event loop run (a scan started meanwhile) are left as
// they came: the sort's order belonged to the rows before them.
TEST(ListSort, RowsReplacedDuringASortAreLeftInTheirOwnOrder)
{
    constexpr int kRows = 2000;
    bool replaced = false, armed = false;
    auto run = RunCounting([&](CountingWindow1& w) {
        harness::TurnWhen turn([] { return true; });
        fw::Ref<fw::Listbox> list = w.FileList();
        w.compare = [&](int32_t a, int32_t b, int32_t column, int32_t& result) {
            if (!replaced && !armed) {
                armed = true;
                QTimer::singleShot(0, [&] {
                    replaced = true;
                    Fill(w, {{"b", 2, "x"}, {"c", 3, "y"}, {"a", 1, "z"}});
                });
            }
            return ByNumber(*list, a, b, column, result);
        };
        Fill(w, Scrambled(kRows));
        harness::ClickHeading(list, 0);
        EXPECT_TRUE(replaced);
        EXPECT_EQ(Column(w, 0), (std::vector<std::string>{"b", "c", "a"}));
        harness::ClickHeading(list, 0);
        EXPECT_EQ(Column(w, 0), (std::vector<std::string>{"a", "b", "c"}));
    });
    EXPECT_TRUE(run.messages.empty());
}
