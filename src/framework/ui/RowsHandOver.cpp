#include "RowsHandOver.h"

#include "ListboxPrivate.h"
#include "Window.h"

#include <QItemSelectionModel>

#include <utility>

namespace fw {
namespace {

void KeepRows(Listbox& list)
{
    ListData& rows = list.Data();
    auto* kept = new ListData; // deliberately never freed
    kept->cells.resize(rows.cells.size());
    for (size_t c = 0; c < rows.cells.size(); ++c)
        kept->cells[c].swap(rows.cells[c]);
    kept->tags.swap(rows.tags);
    rows.tags.resize(kept->tags.size());
    kept->count = std::exchange(rows.count, 0);
    // The view forgets the rows, quietly: no handler runs for the selection it loses.
    if (ListView* view = NativeListView(list)) {
        if (view->selectionModel())
            view->selectionModel()->blockSignals(true);
        if (auto* model = qobject_cast<ListModel*>(view->model()))
            model->Reset();
    }
}

} // namespace

void KeepListRowsToTheEnd(Window& window)
{
    for (const Ref<RectControl>& control : window.Controls())
        if (auto* list = dynamic_cast<Listbox*>(control.Get()))
            KeepRows(*list);
}

} // namespace fw
