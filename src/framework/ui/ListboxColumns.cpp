// Column widths, sorting and cell painting of the Listbox.
#include "ControlPeer.h"
#include "ListboxPrivate.h"
#include "framework/runtime/Runtime.h"
#include "framework/runtime/StringFunctions.h"

#include <QHeaderView>
#include <QScrollBar>

#include <cmath>
#include <numeric>
#include <utility>

namespace fw {
namespace {

// A merge sort that ends and stays in bounds whatever the comparison answers.
void MergeSort(std::vector<int32_t>& v, const std::function<int(int32_t, int32_t)>& cmp)
{
    std::vector<int32_t> tmp(v.size());
    for (size_t width = 1; width < v.size(); width *= 2) {
        for (size_t lo = 0; lo < v.size(); lo += 2 * width) {
            size_t mid = std::min(lo + width, v.size()), hi = std::min(lo + 2 * width, v.size());
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                tmp[k++] = cmp(v[i], v[j]) <= 0 ? v[i++] : v[j++];
            while (i < mid)
                tmp[k++] = v[i++];
            while (j < hi)
                tmp[k++] = v[j++];
        }
        v.swap(tmp);
    }
}

int ListWidth(QTableView* v)
{
    return v->viewport()->width();
}

} // namespace

void Listbox::SetColumnWidths(const String& widths)
{
    columnWidths_ = widths;
    std::vector<String> parts = Split(widths, ",");
    ListView* v = NativeListView(*this);
    double total = v ? std::max(ListWidth(v), 1) : std::max(Width(), 1);
    double used = 0;
    int stars = 0;
    std::vector<double> shares(columns_, -1);
    for (int32_t c = 0; c < columns_ && c < static_cast<int32_t>(parts.size()); ++c) {
        std::string p = Trim(parts[c]).str();
        if (p.empty() || p == "*") {
            ++stars;
            continue;
        }
        double value = std::atof(p.c_str());
        shares[c] = p.back() == '%' ? value / 100.0 : value / total;
        used += shares[c];
    }
    int unspecified = stars + std::max<int>(0, columns_ - static_cast<int>(parts.size()));
    for (double& s : shares)
        if (s < 0)
            s = unspecified > 0 ? std::max(0.0, 1.0 - used) / unspecified : 0;
    shares_ = shares;
    ApplyColumnWidths();
}

void Listbox::ApplyColumnWidths()
{
    ListView* v = NativeListView(*this);
    if (!v || columnWidths_.empty())
        return;
    int total = ListWidth(v);
    applyingWidths_ = true; // widths set here are not the user's
    double share = 0;
    int x = 0;
    for (int32_t c = 0; c < columns_; ++c) {
        share += shares_[c];
        int next = c == columns_ - 1 ? total : static_cast<int>(std::lround(share * total));
        v->horizontalHeader()->resizeSection(c, std::max(next - x, 10));
        x = next;
    }
    applyingWidths_ = false;
}

void Listbox::ColumnResizedByUser(int32_t column, int32_t newSize)
{
    ListView* v = NativeListView(*this);
    if (applyingWidths_ || !v || column < 0 || column >= columns_)
        return;
    // Keep what the user chose as a share, so that it follows later resizes of the list.
    shares_[column] = double(newSize) / std::max(ListWidth(v), 1);
}

void Listbox::HeadingClicked(int32_t column)
{
    if (column < 0 || column >= columns_)
        return;
    if (holds_ > 0) {
        heldClick_ = column;
        return;
    }
    int32_t direction = column == sortColumn_ ? -sortDirection_ : (directions_[column] < 0 ? -1 : 1);
    Sort(column, direction);
}

Listbox::OrderHold::OrderHold(Listbox& list) : list_(list)
{
    ++list_->holds_;
}

Listbox::OrderHold::~OrderHold()
{
    if (--list_->holds_ > 0 || list_->heldClick_ < 0 || RuntimeQuitting())
        return;
    int32_t column = std::exchange(list_->heldClick_, -1);
    RuntimeDispatch([&] { list_->HeadingClicked(column); });
}

int Listbox::CompareRows(int32_t a, int32_t b, int32_t column)
{
    if (const Delegate* d = Handler("CompareRows")) {
        int32_t result = 0;
        Ref<Delegate> keep(const_cast<Delegate*>(d));
        Ref<RectControl> self(*this);
        if (std::get<CompareCall>(keep->GetCall())(*self, a, b, column, result))
            return result;
    }
    return NaturalCompare(data_->cells[column][a].view(), data_->cells[column][b].view());
}

void Listbox::Sort(int32_t column, int32_t direction)
{
    if (column < 0 || column >= columns_)
        return;
    AnnouncePendingRows();
    std::vector<int32_t> order(data_->count);
    std::iota(order.begin(), order.end(), 0);
    int sign = direction < 0 ? -1 : 1;
    MergeSort(order, [&](int32_t a, int32_t b) { return sign * CompareRows(a, b, column); });
    int32_t selected = listIndex_;
    data_->Permute(order);
    sortColumn_ = column;
    sortDirection_ = sign;
    ListView* v = NativeListView(*this);
    if (!v)
        return;
    ListModel* m = static_cast<ListModel*>(v->model());
    quietSelection_ = true;
    m->Reset();
    listIndex_ = -1;
    if (selected >= 0) {
        int32_t now = static_cast<int32_t>(std::find(order.begin(), order.end(), selected) - order.begin());
        SetListIndex(now);
        listIndex_ = now;
    }
    quietSelection_ = false;
    v->horizontalHeader()->setSortIndicatorShown(true);
    v->horizontalHeader()->setSortIndicator(column, sign > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

bool Listbox::RaiseCellBackgroundPaint(Graphics& g, int32_t row, int32_t column)
{
    return Raise<CellPaintCall>("CellBackgroundPaint", g, row, column);
}

} // namespace fw
