#pragma once
// The toolkit side of a Listbox: the row store, the model the view asks, the view and the
// painter of cells.
#include "Listbox.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>


namespace fw {

class ListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListModel(Listbox& owner) : owner_(owner) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int shown = 0; // rows the view has been told about
    void Announce();
    void Reset();
    void ColumnsChanged(int before, int after);

private:
    Listbox& owner_;
};

class ListView : public QTableView {
    Q_OBJECT
public:
    explicit ListView(Listbox& owner, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void PaintEmptyArea();
    Listbox& owner_;
};

class CellPainter : public QStyledItemDelegate {
public:
    explicit CellPainter(Listbox& owner, QObject* parent) : QStyledItemDelegate(parent), owner_(owner) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    Listbox& owner_;
};

ListView* NativeListView(const Listbox& list);

} // namespace fw
