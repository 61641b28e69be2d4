#include "Listbox.h"

#include "ControlPeer.h"
#include "ListboxPrivate.h"
#include "Window.h"
#include "WindowPrivate.h"
#include "framework/runtime/Runtime.h"
#include "framework/runtime/StringFunctions.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTimer>

#include <chrono>

#include <cmath>
#include <numeric>

namespace fw {

FW_CLASS_TABLE(Listbox, RectControl, "Listbox")
{
    t.factory = [] { return static_cast<Object*>(new Listbox); };
    t.properties = {
        KeptProperty("Border", 'B'), IntProperty("ColumnCount", &Listbox::SetColumnCount),
        StringProperty("ColumnWidths", &Listbox::SetColumnWidths), BoolProperty("HasHeading", &Listbox::SetHasHeading),
        StringProperty("InitialValue", &Listbox::SetInitialValue), KeptProperty("HeadingIndex", 'I'),
        KeptProperty("ScrollbarHorizontal", 'B'), KeptProperty("ScrollBarVertical", 'B'),
        KeptProperty("GridLinesHorizontal", 'I'), KeptProperty("GridLinesVertical", 'I'),
        KeptProperty("DefaultRowHeight", 'I'), KeptProperty("_ScrollWidth", 'I'), KeptProperty("_ScrollOffset", 'I'),
        KeptProperty("Hierarchical", 'B'), KeptProperty("EnableDrag", 'B'), KeptProperty("EnableDragReorder", 'B'),
        KeptProperty("RequiresSelection", 'B'), KeptProperty("SelectionType", 'I'),
        BoolProperty("ColumnsResizable", &Listbox::SetColumnsResizable), KeptProperty("AutoHideScrollbars", 'B'),
        KeptProperty("DataSource", 'S'), KeptProperty("DataField", 'S'),
    };
}

Listbox::Listbox() : data_(std::make_unique<ListData>())
{
    SetColumnCount(1);
}

Listbox::~Listbox() = default;

const std::vector<EventDecl>& Listbox::Events() const
{
    static const std::vector<EventDecl> events = {
        {"Change", ParamList::None, "(  )"},
        {"KeyDown", ParamList::Key, "( String ) as Boolean"},
        {"MouseDown", ParamList::Mouse, "( Int32, Int32 ) as Boolean"},
        {"CellBackgroundPaint", ParamList::CellPaint, "( Graphics, Int32, Int32 ) as Boolean"},
        {"CompareRows", ParamList::Compare, "( Int32, Int32, Int32, Int32 ) as Boolean"},
        {"DoubleClick", ParamList::None, "(  )"},
    };
    return events;
}

std::unique_ptr<ControlPeer> Listbox::CreatePeer()
{
    auto* view = new ListView(*this, WindowContent(*ControlWindow(*this)));
    auto* model = new ListModel(*this);
    model->setParent(view);
    model_ = model;
    view->setModel(model);
    view->setItemDelegate(new CellPainter(*this, view));
    int rowHeight = view->fontMetrics().height() + 6;
    view->verticalHeader()->setDefaultSectionSize(rowHeight);
    auto peer = std::make_unique<ControlPeer>(*this, view);
    peer->WatchInput(view->viewport());
    QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, peer.get(), [this, view] {
        QModelIndexList rows = view->selectionModel()->selectedRows();
        SelectionChangedByView(rows.isEmpty() ? -1 : rows.first().row());
    });
    // The sort runs once the header has finished with the click: a long sort lets the event
    // loop run, and a header still inside its own click would let no other click through.
    QObject::connect(
        view->horizontalHeader(), &QHeaderView::sectionClicked, peer.get(),
        [this](int c) { RuntimeDispatch([&] { HeadingClicked(c); }); }, Qt::QueuedConnection);
    QObject::connect(view->horizontalHeader(), &QHeaderView::sectionResized, peer.get(),
                     [this](int c, int, int size) { ColumnResizedByUser(c, size); });
    QObject::connect(view, &QTableView::doubleClicked, peer.get(), [this] { RaiseSimple("DoubleClick"); });
    view->horizontalHeader()->setVisible(hasHeading_);
    view->horizontalHeader()->setSectionsMovable(false);
    return peer;
}


void Listbox::AddRow(const String& firstCell)
{
    if (data_->count == INT32_MAX)
        throw OutOfBoundsException("The list cannot hold more rows.");
    data_->Append(firstCell);
    ++generation_;
    lastIndex_ = data_->count - 1;
    ScheduleAnnounce();
}

namespace {
int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

// New rows and repaints reach the view at most every kAnnounceInterval: telling the view
// about rows and painting it costs the same for one row as for thousands, so a long scan that
// adds rows all the time pays for it a few times a second rather than at every turn.
void Listbox::ScheduleAnnounce()
{
    if (announceScheduled_)
        return;
    ListView* v = NativeListView(*this);
    if (!v)
        return;
    announceScheduled_ = true;
    int64_t wait = std::clamp<int64_t>(lastAnnounce_ + kAnnounceInterval - NowMs(), 0, kAnnounceInterval);
    QTimer::singleShot(static_cast<int>(wait), v, [this] { AnnouncePendingRows(); });
}

void Listbox::AnnouncePendingRows()
{
    announceScheduled_ = false;
    lastAnnounce_ = NowMs();
    if (ListModel* m = model_)
        m->Announce();
    if (ListView* v = NativeListView(*this))
        v->viewport()->update();
}

// Emptying the list is the program's doing, not a choice of the user: it raises no "Change",
// so that a flag armed by an earlier press cannot turn it into an empty selection.
void Listbox::DeleteAllRows()
{
    data_->Clear();
    ++generation_;
    lastIndex_ = -1;
    listIndex_ = -1;
    if (ListModel* m = model_) {
        quietSelection_ = true;
        m->Reset();
        quietSelection_ = false;
    }
}

void Listbox::CheckCell(int32_t row, int32_t column) const
{
    if (row < 0 || row >= data_->count || column < 0 || column >= columns_)
        throw OutOfBoundsException("The list has no cell at row " + std::to_string(row) + ", column " +
                                   std::to_string(column) + " (it has " + std::to_string(data_->count) +
                                   " rows and " + std::to_string(columns_) + " columns).");
}

String Listbox::CellOutside(int32_t row, int32_t column) const
{
    if (row != -1)
        CheckCell(row, column);
    return String();
}

void Listbox::SetCell(int32_t row, int32_t column, const String& text)
{
    CheckCell(row, column);
    data_->Cell(row, column) = text;
    ++generation_;
    if (ListModel* m = model_; m && row < m->shown)
        emit m->dataChanged(m->index(row, column), m->index(row, column));
}

const Variant& Listbox::CellTagOutside(int32_t row, int32_t column) const
{
    static const Variant nil;
    if (row != -1)
        CheckCell(row, column);
    return nil;
}

void Listbox::SetCellTag(int32_t row, int32_t column, const Variant& tag)
{
    CheckCell(row, column);
    auto& t = data_->tags[column];
    if (!t)
        t = std::make_unique<Column<Variant>>(data_->count);
    (*t)[size_t(data_->slotOf[size_t(row)])] = tag;
    ++generation_;
}

void Listbox::SetListIndex(int32_t row)
{
    if (row < -1 || row >= data_->count)
        throw OutOfBoundsException("The list has no row " + std::to_string(row) + ".");
    ListView* v = NativeListView(*this);
    if (!v) {
        listIndex_ = row;
        return;
    }
    AnnouncePendingRows();
    if (row < 0) {
        v->selectionModel()->clearSelection();
        return;
    }
    QModelIndex idx = v->model()->index(row, 0);
    v->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    v->scrollTo(idx);
}

void Listbox::SelectionChangedByView(int32_t row)
{
    if (row == listIndex_)
        return;
    listIndex_ = row;
    if (!quietSelection_)
        RaiseChange();
}

// A "Change" handler may let the event loop turn, and the user's next click or key may then
// move the selection again. That change is raised once the running handler has returned,
// never inside it: otherwise the older handler would finish last and what it showed (the hint
// of a row left behind) would stand for the row now selected.
void Listbox::RaiseChange()
{
    if (raisingChange_) {
        changePending_ = true;
        return;
    }
    Ref<Listbox> self(*this);
    raisingChange_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{raisingChange_};
    do {
        changePending_ = false;
        RaiseSimple("Change");
    } while (changePending_);
}

void Listbox::SetColumnCount(int32_t n)
{
    n = std::clamp(n, 1, 256);
    int before = columns_;
    columns_ = n;
    data_->Resize(n);
    ++generation_;
    types_.resize(n, 0);
    directions_.resize(n, 1);
    headings_.resize(n);
    shares_.resize(n, 0);
    if (ListModel* m = model_)
        m->ColumnsChanged(before, n);
    ApplyColumnWidths();
}

int32_t Listbox::ColumnType(int32_t column) const
{
    return column >= 0 && column < columns_ ? types_[column] : 0;
}

void Listbox::SetColumnType(int32_t column, int32_t type)
{
    if (column >= 0 && column < columns_)
        types_[column] = type;
}

int32_t Listbox::ColumnSortDirection(int32_t column) const
{
    return column >= 0 && column < columns_ ? directions_[column] : 0;
}

void Listbox::SetColumnSortDirection(int32_t column, int32_t direction)
{
    if (column >= 0 && column < columns_)
        directions_[column] = direction;
}

String Listbox::Heading(int32_t column) const
{
    return column >= 0 && column < columns_ ? headings_[column] : String();
}

void Listbox::SetHeading(int32_t column, const String& text)
{
    if (column < 0 || column >= columns_)
        return;
    headings_[column] = text;
    if (ListModel* m = model_)
        emit m->headerDataChanged(Qt::Horizontal, column, column);
}

void Listbox::SetInitialValue(const String& headings)
{
    std::vector<String> parts = Split(headings, Chr(9));
    for (int32_t c = 0; c < columns_ && c < static_cast<int32_t>(parts.size()); ++c)
        SetHeading(c, parts[c]);
}

void Listbox::SetHasHeading(bool on)
{
    hasHeading_ = on;
    if (ListView* v = NativeListView(*this))
        v->horizontalHeader()->setVisible(on);
}

void Listbox::SetColumnsResizable(bool on)
{
    resizable_ = on;
    if (ListView* v = NativeListView(*this))
        v->horizontalHeader()->setSectionResizeMode(on ? QHeaderView::Interactive : QHeaderView::Fixed);
}

void Listbox::Refresh(bool)
{
    ScheduleAnnounce();
}

} // namespace fw
