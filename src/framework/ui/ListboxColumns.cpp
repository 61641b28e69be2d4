// Column widths and cell painting of the Listbox.
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

bool Listbox::RaiseCellBackgroundPaint(Graphics& g, int32_t row, int32_t column)
{
    return Raise<CellPaintCall>("CellBackgroundPaint", g, row, column);
}

} // namespace fw
