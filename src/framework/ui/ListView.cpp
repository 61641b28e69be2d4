#include "ControlPeer.h"
#include "GraphicsPrivate.h"
#include "ListboxPrivate.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>

namespace fw {

void ListData::Resize(int32_t columns)
{
    cells.resize(columns);
    tags.resize(columns);
    for (auto& c : cells)
        c.resize(count);
    for (auto& t : tags)
        if (t)
            t->resize(count);
}

void ListData::Append(const String& first)
{
    cells[0].push_back(first);
    for (size_t c = 1; c < cells.size(); ++c)
        cells[c].emplace_back();
    for (auto& t : tags)
        if (t)
            t->emplace_back();
    slotOf.push_back(count);
    ++count;
}

void ListData::Clear()
{
    for (auto& c : cells)
        Column<String>().swap(c);
    for (auto& t : tags)
        t.reset();
    std::vector<int32_t>().swap(slotOf);
    count = 0;
}

int ListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown; }

int ListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : owner_.ColumnCount(); }

QVariant ListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= owner_.ListCount())
        return {};
    const String& s = owner_.Data().Cell(index.row(), index.column());
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QVariant ListModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    String h = owner_.Heading(section);
    return QString::fromUtf8(h.data(), static_cast<qsizetype>(h.size()));
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void ListModel::Announce()
{
    int total = owner_.ListCount();
    if (total <= shown)
        return;
    beginInsertRows({}, shown, total - 1);
    shown = total;
    endInsertRows();
}

void ListModel::Reset()
{
    beginResetModel();
    shown = owner_.ListCount();
    endResetModel();
}

void ListModel::ColumnsChanged(int before, int after)
{
    if (after > before) {
        beginInsertColumns({}, before, after - 1);
        endInsertColumns();
    } else if (after < before) {
        beginRemoveColumns({}, after, before - 1);
        endRemoveColumns();
    }
}

ListView::ListView(Listbox& owner, QWidget* parent) : QTableView(parent), owner_(owner)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setTextElideMode(Qt::ElideRight);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

// The columns share the viewport's width, which also changes when a scroll bar comes or goes.
bool ListView::viewportEvent(QEvent* e)
{
    bool handled = QTableView::viewportEvent(e);
    if (e->type() == QEvent::Resize)
        owner_.ApplyColumnWidths();
    return handled;
}

// The list selects whole rows, so Home and End (with Ctrl or without) go to the first and the
// last row, where a table would go to the first and the last column of the same row.
QModelIndex ListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (action != MoveHome && action != MoveEnd)
        return QTableView::moveCursor(action, modifiers);
    owner_.AnnouncePendingRows();
    int rows = model()->rowCount();
    if (rows == 0)
        return {};
    return model()->index(action == MoveHome ? 0 : rows - 1, std::max(currentIndex().column(), 0));
}

void ListView::paintEvent(QPaintEvent* e)
{
    QTableView::paintEvent(e);
    if (owner_.HasHandler("CellBackgroundPaint"))
        PaintEmptyArea();
}

// The rows below the last one are painted too, so that stripes can run to the bottom.
void ListView::PaintEmptyArea()
{
    int rowHeight = verticalHeader()->defaultSectionSize();
    int count = model()->rowCount();
    int top = count > 0 ? rowViewportPosition(count - 1) + rowHeight : 0;
    if (count > 0 && rowViewportPosition(count - 1) < 0 && top < 0)
        return;
    QPainter p(viewport());
    for (int r = count, y = top; y < viewport()->height() && rowHeight > 0; ++r, y += rowHeight) {
        for (int c = 0; c < model()->columnCount(); ++c) {
            QRect cell(columnViewportPosition(c), y, columnWidth(c), rowHeight);
            p.save();
            p.translate(cell.topLeft());
            p.setClipRect(0, 0, cell.width(), cell.height());
            PainterHandle handle(p);
            Ref<Graphics> g = MakeRef<Graphics>(&handle, cell.width(), cell.height());
            owner_.RaiseCellBackgroundPaint(*g, r, c);
            p.restore();
        }
    }
}

void CellPainter::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    opt.state &= ~QStyle::State_HasFocus;
    if (owner_.HasHandler("CellBackgroundPaint")) {
        p->save();
        p->translate(opt.rect.topLeft());
        p->setClipRect(0, 0, opt.rect.width(), opt.rect.height());
        PainterHandle handle(*p);
        Ref<Graphics> g = MakeRef<Graphics>(&handle, opt.rect.width(), opt.rect.height());
        bool painted = owner_.RaiseCellBackgroundPaint(*g, index.row(), index.column());
        p->restore();
        if (painted) {
            opt.backgroundBrush = Qt::NoBrush;
            opt.state &= ~QStyle::State_Selected;
        }
    }
    const QWidget* w = option.widget;
    QStyle* style = w ? w->style() : nullptr;
    if (style)
        style->drawControl(QStyle::CE_ItemViewItem, &opt, p, w);
}

ListView* NativeListView(const Listbox& list)
{
    return qobject_cast<ListView*>(NativeWidget(list));
}

} // namespace fw
