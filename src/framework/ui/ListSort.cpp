// Sorting a Listbox by a column: what a click on a heading does.
//
// A million rows in no order take a merge sort about twenty million comparisons, rows that
// already come in runs far fewer (RunMergeSort). Each asks the control's "CompareRows" handler
// first, bound once for the whole sort, and compares the texts only when the handler leaves the
// pair to the list; the texts are then compared by keys made once per row. The sort lets the event loop run while it works, and holds the list's order meanwhile:
// the new order takes the old one's place at once when it is known, and only if the list is
// still the one that was sorted.
#include "ListboxPrivate.h"
#include "RunMergeSort.h"
#include "Window.h"
#include "framework/runtime/Runtime.h"
#include "framework/runtime/StringFunctions.h"

#include <QHeaderView>

#include <algorithm>
#include <cstring>
#include <utility>

namespace fw {
namespace {

// Order keys of one column's texts (AppendNaturalKey) by slot, in one buffer, with each key's
// first eight bytes past what all keys share kept apart: most comparisons end on those.
class TextKeys {
public:
    bool Built() const { return built_; }

    // The texts lie wherever the rows' strings were made, so each is fetched ahead of its turn:
    // waiting for one at a time would cost more than making all the keys. `turn` is called
    // between stretches of rows; false from it stops the building.
    template <typename Turn>
    bool Build(const Column<String>& texts, int32_t count, Turn& turn)
    {
        constexpr int32_t kAhead = 16, kStretch = 4096;
        starts_.reserve(size_t(count) + 1);
        bytes_.reserve(size_t(count) * 24); // pages are taken only as the keys fill them
        for (int32_t r = 0; r < count; ++r) {
            if (r + kAhead < count)
                __builtin_prefetch(texts[size_t(r + kAhead)].data());
            starts_.push_back(bytes_.size());
            AppendNaturalKey(texts[size_t(r)].view(), bytes_);
            if (r % kStretch == kStretch - 1 && !turn())
                return false;
        }
        starts_.push_back(bytes_.size());
        if (!SharedPrefix(count, turn))
            return false;
        heads_.reserve(size_t(count));
        for (int32_t r = 0; r < count; ++r) {
            uint64_t head = 0;
            size_t from = starts_[size_t(r)] + shared_, end = starts_[size_t(r) + 1];
            for (size_t k = 0; k < 8; ++k)
                head = head << 8 | (from + k < end ? static_cast<unsigned char>(bytes_[from + k]) : 0u);
            heads_.push_back(head);
            if (r % (16 * kStretch) == 16 * kStretch - 1 && !turn())
                return false;
        }
        built_ = true;
        return true;
    }

    // A shorter key is the smaller where it is the other's beginning, so the zeros that pad a
    // head can only make two heads equal, never put them in the wrong order.
    int Compare(int32_t a, int32_t b, const Column<String>& texts) const
    {
        if (heads_[size_t(a)] != heads_[size_t(b)])
            return heads_[size_t(a)] < heads_[size_t(b)] ? -1 : 1;
        size_t sa = starts_[size_t(a)], ea = starts_[size_t(a) + 1];
        size_t sb = starts_[size_t(b)], eb = starts_[size_t(b) + 1];
        size_t seen = shared_ + 8, common = std::min(ea - sa, eb - sb);
        if (common > seen)
            if (int c = std::memcmp(bytes_.data() + sa + seen, bytes_.data() + sb + seen, common - seen))
                return c < 0 ? -1 : 1;
        if (ea - sa != eb - sb)
            return ea - sa < eb - sb ? -1 : 1;
        int c = texts[size_t(a)].view().compare(texts[size_t(b)].view());
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }

    // Asks for a slot's head ahead of its comparison.
    void Fetch(size_t slot) const
    {
        if (built_)
            __builtin_prefetch(&heads_[slot]);
    }

private:
    // How many bytes every key begins with (a folder's path in the last column, say).
    template <typename Turn>
    bool SharedPrefix(int32_t count, Turn& turn)
    {
        shared_ = count > 0 ? starts_[1] - starts_[0] : 0;
        const char* first = bytes_.data();
        for (int32_t r = 1; r < count && shared_ > 0; ++r) {
            const char* key = bytes_.data() + starts_[size_t(r)];
            size_t n = std::min(shared_, starts_[size_t(r) + 1] - starts_[size_t(r)]), k = 0;
            while (k < n && first[k] == key[k])
                ++k;
            shared_ = k;
            if (r % 65536 == 0 && !turn())
                return false;
        }
        return true;
    }

    std::string bytes_;
    std::vector<size_t> starts_;
    std::vector<uint64_t> heads_;
    size_t shared_ = 0;
    bool built_ = false;
};

// Fills v with f(0) ... f(n - 1), a stretch at a time between turns of the event loop: the
// first writing of a million entries costs thousands of page faults, too long for one turn.
template <typename F, typename Turn>
bool FillInStretches(std::vector<int32_t>& v, size_t n, F f, Turn& turn)
{
    v.clear();
    v.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        v.push_back(f(i));
        if ((i & 0xFFFF) == 0xFFFF && !turn())
            return false;
    }
    return true;
}

} // namespace

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

void Listbox::Sort(int32_t column, int32_t direction)
{
    if (column < 0 || column >= columns_)
        return;
    AnnouncePendingRows();
    // A heading click while the sort runs waits for it, as it waits for an export.
    OrderHold hold(*this);
    int sign = direction < 0 ? -1 : 1;
    std::vector<int32_t> slotOf;
    if (SortedOrder(column, sign, slotOf))
        ApplyOrder(slotOf, column, sign);
}

// The rows' new order as the slot of each row, or false when the list changed under the sort
// (a scan started while the event loop ran) or the program is quitting: then the list keeps
// the order it has.
bool Listbox::SortedOrder(int32_t column, int sign, std::vector<int32_t>& slotOf)
{
    Ref<Listbox> self(*this);
    Ref<Window> window(GetWindow());
    Ref<Delegate> handler(const_cast<Delegate*>(Handler("CompareRows")));
    BoundCompareCall ask = handler ? handler->BindCompare(*this) : BoundCompareCall();
    const uint64_t generation = generation_;
    TextKeys keys;
    bool stale = false;
    auto turn = [&] {
        if (RuntimeBackgroundTask())
            stale = stale || generation_ != generation || RuntimeQuitting();
        return !stale;
    };
    auto compare = [&](int32_t a, int32_t b) -> int {
        if (stale)
            return 0;
        if (ask) {
            int32_t result = 0;
            bool answered = ask(a, b, column, result);
            if (generation_ != generation) { // the handler changed the rows
                stale = true;
                return 0;
            }
            if (answered)
                return sign * ((result > 0) - (result < 0));
        }
        if (!keys.Built() && !keys.Build(data_->cells[size_t(column)], data_->count, turn))
            return 0;
        const std::vector<int32_t>& rows = data_->slotOf;
        return sign * keys.Compare(rows[size_t(a)], rows[size_t(b)], data_->cells[size_t(column)]);
    };
    // What a comparison of the column reads: the rows' slots, then the column's tags (the
    // handler's usual reading) or its text keys.
    const Column<Variant>* tags = data_->tags[size_t(column)].get();
    auto ahead = [&](int32_t later, int32_t soon) {
        if (stale)
            return;
        const std::vector<int32_t>& rowSlots = data_->slotOf;
        if (later >= 0)
            __builtin_prefetch(&rowSlots[size_t(later)]);
        if (soon < 0)
            return;
        size_t slot = size_t(rowSlots[size_t(soon)]);
        if (tags)
            __builtin_prefetch(&(*tags)[slot]);
        keys.Fetch(slot);
    };
    const size_t n = size_t(data_->count);
    std::vector<int32_t> order;
    RunMergeSort sorter(compare, ahead, turn);
    if (!FillInStretches(order, n, [](size_t i) { return int32_t(i); }, turn) ||
        !FillInStretches(slotOf, n, [](size_t) { return 0; }, turn) || !sorter.Sort(order, slotOf) || stale)
        return false;
    // Row i now shows what row order[i] showed; the buffer the merge used takes the new map.
    const std::vector<int32_t>& before = data_->slotOf;
    for (size_t i = 0; i < n; ++i)
        slotOf[i] = before[size_t(order[i])];
    return true;
}

void Listbox::ApplyOrder(std::vector<int32_t>& slotOf, int32_t column, int sign)
{
    int32_t selected = listIndex_;
    int32_t selectedSlot = selected >= 0 ? data_->slotOf[size_t(selected)] : -1;
    data_->slotOf.swap(slotOf);
    ++generation_;
    sortColumn_ = column;
    sortDirection_ = sign;
    ListView* v = NativeListView(*this);
    if (!v)
        return;
    quietSelection_ = true;
    model_->Reset();
    listIndex_ = -1;
    if (selected >= 0) {
        const std::vector<int32_t>& rows = data_->slotOf;
        int32_t now = static_cast<int32_t>(std::find(rows.begin(), rows.end(), selectedSlot) - rows.begin());
        SetListIndex(now);
        listIndex_ = now;
    }
    quietSelection_ = false;
    v->horizontalHeader()->setSortIndicatorShown(true);
    v->horizontalHeader()->setSortIndicator(column, sign > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

} // namespace fw
