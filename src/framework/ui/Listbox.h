#pragma once
// Listbox: a multi-column list over the framework's own row store. Rows are kept column by
// column in compact blocks; rows added while a long loop runs are announced to the view in one
// batch per event-loop turn, so that a million rows go in, scroll and sort smoothly. A click on
// a heading sorts by that column, asking "CompareRows" first and comparing the texts otherwise.
#include "ListData.h"
#include "RectControl.h"
#include "framework/runtime/Variant.h"

#include <memory>
#include <vector>

namespace fw {

class ListModel;

class Listbox : public RectControl {
    FW_DECLARE_CLASS()
public:
    ~Listbox() override;

    void AddRow(const String& firstCell);
    int32_t LastIndex() const { return lastIndex_; }
    void DeleteAllRows();
    int32_t ListCount() const { return data_->count; }

    // Reading row -1 (no selection) gives empty text and a nil tag; other rows outside the
    // list raise OutOfBoundsException.
    String Cell(int32_t row, int32_t column) const
    {
        if (Inside(row, column))
            return data_->Cell(row, column);
        return CellOutside(row, column);
    }
    void SetCell(int32_t row, int32_t column, const String& text);
    // The cell's text without a copy, for reading many cells fast; valid until the list next
    // changes. Outside the list it is empty, as Cell's is for row -1.
    std::string_view CellText(int32_t row, int32_t column) const
    {
        return Inside(row, column) ? data_->Cell(row, column).view() : std::string_view();
    }
    // The tag itself, not a copy: a sort reads two tags at each of its many comparisons.
    const Variant& CellTag(int32_t row, int32_t column) const
    {
        const ListData& d = *data_;
        if (Inside(row, column))
            if (const Column<Variant>* tags = d.tags[size_t(column)].get())
                return (*tags)[size_t(d.slotOf[size_t(row)])];
        return CellTagOutside(row, column);
    }
    void SetCellTag(int32_t row, int32_t column, const Variant& tag);

    int32_t ListIndex() const { return listIndex_; }
    void SetListIndex(int32_t row);
    bool Selected(int32_t row) const { return row >= 0 && row == listIndex_; }

    int32_t ColumnCount() const { return columns_; }
    void SetColumnCount(int32_t n);
    int32_t ColumnType(int32_t column) const;
    void SetColumnType(int32_t column, int32_t type);
    // 1 ascending, -1 descending, 0 none. A column past the last is ignored.
    int32_t ColumnSortDirection(int32_t column) const;
    void SetColumnSortDirection(int32_t column, int32_t direction);
    // Widths as a comma-separated list of percentages ("10%"), pixels ("120") or "*" (the rest),
    // kept as shares of the list's width and followed when the list is resized.
    String ColumnWidths() const { return columnWidths_; }
    void SetColumnWidths(const String& widths);
    String Heading(int32_t column) const;
    void SetHeading(int32_t column, const String& text);
    void SetInitialValue(const String& tabSeparatedHeadings);
    void SetHasHeading(bool on);
    void SetColumnsResizable(bool on);

    // What a click on a heading does: sorts by the column, in the direction given (1 or -1).
    void Sort(int32_t column, int32_t direction);
    // While a long reading of the rows in order runs (an export that yields to the event loop),
    // a click on a heading waits: the sort is made when the reading ends, so that the reader
    // never meets some rows twice and others not at all.
    class OrderHold {
    public:
        explicit OrderHold(Listbox& list);
        ~OrderHold();
        OrderHold(const OrderHold&) = delete;
        OrderHold& operator=(const OrderHold&) = delete;

    private:
        Ref<Listbox> list_;
    };
    // Asks for a repaint with the rows added so far, soon: a few times a second at most.
    void Refresh(bool eraseBackground = true) override;
    const std::vector<EventDecl>& Events() const override;

    // Toolkit side.
    ListData& Data() const { return *data_; }
    void AnnouncePendingRows();
    void SelectionChangedByView(int32_t row);
    void RaiseChange();
    void HeadingClicked(int32_t column);
    bool RaiseCellBackgroundPaint(Graphics& g, int32_t row, int32_t column);
    bool HasHandler(const char* eventName) const { return Handler(eventName) != nullptr; }
    void ApplyColumnWidths();
    void ColumnResizedByUser(int32_t column, int32_t newSize);

protected:
    Listbox();
    std::unique_ptr<ControlPeer> CreatePeer() override;

private:
    bool Inside(int32_t row, int32_t column) const
    {
        return uint32_t(row) < uint32_t(data_->count) && uint32_t(column) < uint32_t(columns_);
    }
    String CellOutside(int32_t row, int32_t column) const;
    const Variant& CellTagOutside(int32_t row, int32_t column) const;
    void CheckCell(int32_t row, int32_t column) const;
    bool SortedOrder(int32_t column, int sign, std::vector<int32_t>& slotOf);
    void ApplyOrder(std::vector<int32_t>& slotOf, int32_t column, int sign);
    void ScheduleAnnounce();

    std::unique_ptr<ListData> data_;
    ListModel* model_ = nullptr; // owned by the view, which the control's peer owns
    int64_t lastAnnounce_ = 0;
    static constexpr int64_t kAnnounceInterval = 100; // milliseconds
    int32_t columns_ = 1;
    int32_t lastIndex_ = -1;
    int32_t listIndex_ = -1;
    int32_t sortColumn_ = -1;
    int32_t holds_ = 0;          // OrderHolds alive
    int32_t heldClick_ = -1;     // the column of a heading click that waits for them
    int32_t sortDirection_ = 0;
    uint64_t generation_ = 0;    // counts the changes of the rows, so that a sort that lets the
                                 // event loop run knows whether its rows are still the list's
    std::vector<int32_t> types_, directions_;
    std::vector<String> headings_;
    std::vector<double> shares_; // each column's share of the width, from ColumnWidths
    String columnWidths_;
    bool hasHeading_ = true, resizable_ = true, announceScheduled_ = false, quietSelection_ = false, applyingWidths_ = false;
    bool raisingChange_ = false, changePending_ = false;
};

} // namespace fw
