#pragma once
// The merge sort behind a heading click. The rows' comparison is the program's own handler,
// called on the user-interface thread, so the sort is built to call it few times and cheaply:
//
// - Rows that already come in order, or in reverse order, are taken as runs whole: a sorted
//   list costs one comparison a row, and so does a second click that reverses it. Short runs
//   are lengthened to kMinRun rows by binary insertion, which asks fewer questions than
//   merging them would.
// - Before two runs are merged, the rows at the start of the first run that come before the
//   whole second run, and those at the end of the second that come after the whole first, are
//   found by galloping and moved without a comparison each.
// - A merge reads the rows of its two runs in order, but their cells lie anywhere in memory: a
//   row's cells are fetched ahead of its turn (`ahead`), so the handler finds them in cache.
//
// It ends and stays in bounds whatever the comparison answers (the number column's never says
// that two rows are alike): every search is bounded by its run, and every step writes each row
// of its runs exactly once. `cmp(a, b) <= 0` keeps a before b, so rows that compare alike keep
// their order. `turn` is asked every few thousand steps; when it answers false the sort stops
// and its result is of no use.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace fw {

template <typename Compare, typename Ahead, typename Turn>
class RunMergeSort {
public:
    static constexpr size_t kMinRun = 32;

    RunMergeSort(Compare& cmp, Ahead& ahead, Turn& turn) : cmp_(cmp), ahead_(ahead), turn_(turn) {}

    // Sorts v, with tmp (of v's size) as the room a merge writes to.
    bool Sort(std::vector<int32_t>& v, std::vector<int32_t>& tmp)
    {
        std::vector<size_t> starts;
        if (!FindRuns(v, starts))
            return false;
        while (starts.size() > 2) {
            size_t kept = 0;
            for (size_t r = 0; r + 1 < starts.size(); r += 2) {
                size_t lo = starts[r], mid = starts[r + 1], hi = r + 2 < starts.size() ? starts[r + 2] : mid;
                if (!Merge(v, tmp, lo, mid, hi))
                    return false;
                starts[kept++] = lo;
            }
            starts[kept++] = v.size();
            starts.resize(kept);
            v.swap(tmp);
        }
        return true;
    }

private:
    // How many rows the sort handles between two looks at the event loop (each look costs a
    // reading of the clock; the loop itself turns only every 15 ms or so).
    static constexpr size_t kStepsBetweenTurns = 2048;
    // How far ahead of its turn a row's slot, then its cells, are fetched.
    static constexpr size_t kFar = 24, kNear = 12, kFetchFrom = 8192;
    static constexpr size_t kGallopAfter = 7;

    bool Due(size_t steps)
    {
        done_ += steps;
        if (done_ < nextTurn_)
            return true;
        nextTurn_ = done_ + kStepsBetweenTurns;
        return turn_();
    }

    // The runs' first rows, and v's size at the end.
    bool FindRuns(std::vector<int32_t>& v, std::vector<size_t>& starts)
    {
        const size_t n = v.size();
        for (size_t lo = 0; lo < n;) {
            starts.push_back(lo);
            size_t end = lo + 1;
            if (end < n && cmp_(v[lo], v[end]) > 0) {
                while (++end < n && cmp_(v[end - 1], v[end]) > 0)
                    if (!Due(1))
                        return false;
                std::reverse(v.begin() + lo, v.begin() + end);
            } else if (end < n) {
                while (++end < n && cmp_(v[end - 1], v[end]) <= 0)
                    if (!Due(1))
                        return false;
            }
            if (!Due(end - lo) || !Lengthen(v, lo, end, std::min(lo + kMinRun, n)))
                return false;
            lo = std::max(end, std::min(lo + kMinRun, n));
        }
        starts.push_back(n);
        return true;
    }

    // Puts each row of v[end, hi) into its place among the ordered rows before it, from lo.
    bool Lengthen(std::vector<int32_t>& v, size_t lo, size_t end, size_t hi)
    {
        for (size_t k = end; k < hi; ++k) {
            int32_t row = v[k];
            size_t l = lo, h = k;
            while (l < h) {
                size_t m = l + (h - l) / 2;
                if (cmp_(v[m], row) <= 0)
                    l = m + 1;
                else
                    h = m;
            }
            std::memmove(&v[l + 1], &v[l], (k - l) * sizeof(int32_t));
            v[l] = row;
            if (!Due(k - lo))
                return false;
        }
        return true;
    }

    // Writes the runs v[lo, mid) and v[mid, hi) to tmp[lo, hi) in order.
    bool Merge(const std::vector<int32_t>& v, std::vector<int32_t>& tmp, size_t lo, size_t mid, size_t hi)
    {
        auto from = v.begin();
        auto to = tmp.begin();
        if (mid == hi || cmp_(v[mid - 1], v[mid]) <= 0) {
            std::copy(from + lo, from + hi, to + lo);
        } else if (cmp_(v[lo], v[hi - 1]) > 0) {
            std::copy(from + lo, from + mid, std::copy(from + mid, from + hi, to + lo));
        } else {
            size_t first = FirstAfter(v, lo, mid, v[mid]), last = LastBefore(v, mid, hi, v[mid - 1]);
            std::copy(from + lo, from + first, to + lo);
            if (!MergeMiddle(v, tmp, first, mid, last))
                return false;
            std::copy(from + last, from + hi, to + last);
        }
        return Due(hi - lo);
    }

    // The first row of the ordered v[lo, hi) that comes after `row`, galloping from lo.
    size_t FirstAfter(const std::vector<int32_t>& v, size_t lo, size_t hi, int32_t row)
    {
        return GallopFrom(v, lo, hi, [&](int32_t r) { return cmp_(r, row) <= 0; });
    }

    // The first row of the ordered v[lo, hi) that fails `before`, galloping from lo.
    template <typename Before>
    static size_t GallopFrom(const std::vector<int32_t>& v, size_t lo, size_t hi, Before before)
    {
        size_t below = lo, step = 1; // v[lo, below) pass
        while (below < hi && before(v[below])) {
            lo = below + 1;
            below = std::min(hi, below + step);
            step *= 2;
        }
        return Search(v, lo, below, before);
    }

    // The end of the rows of the ordered v[lo, hi) that come before `row`, galloping from hi.
    size_t LastBefore(const std::vector<int32_t>& v, size_t lo, size_t hi, int32_t row)
    {
        size_t above = hi, step = 1; // v[above, hi) come after row
        while (above > lo && cmp_(row, v[above - 1]) <= 0) {
            hi = above - 1;
            above = above - std::min(above - lo, step);
            step *= 2;
        }
        return Search(v, above, hi, [&](int32_t r) { return cmp_(row, r) > 0; });
    }

    // The first position in v[lo, hi) whose row fails `before`, by halving.
    template <typename Before>
    static size_t Search(const std::vector<int32_t>& v, size_t lo, size_t hi, Before before)
    {
        while (lo < hi) {
            size_t m = lo + (hi - lo) / 2;
            if (before(v[m]))
                lo = m + 1;
            else
                hi = m;
        }
        return lo;
    }

    bool MergeMiddle(const std::vector<int32_t>& v, std::vector<int32_t>& tmp, size_t lo, size_t mid, size_t hi)
    {
        // Small runs were merged a moment ago and are still in cache.
        const bool fetch = hi - lo >= kFetchFrom;
        size_t i = lo, j = mid, k = lo;
        for (size_t d = 0; fetch && d < kFar; ++d) {
            Fetch(v, mid, mid, i + d, mid);
            Fetch(v, hi, hi, j + d, hi);
        }
        for (size_t d = 0; fetch && d < kNear; ++d) {
            Fetch(v, i + d, mid, mid, mid);
            Fetch(v, j + d, hi, hi, hi);
        }
        // Which run gives the next row is mostly as good as random, so it is chosen without a
        // branch; a run that gives kGallopAfter rows in a row is searched for how many more it
        // gives, as runs of neighbouring folders interleave in long stretches.
        size_t streak = 0;
        bool last = false;
        while (i < mid && j < hi) {
            int32_t a = v[i], b = v[j];
            bool second = cmp_(a, b) > 0;
            tmp[k++] = second ? b : a;
            i += !second;
            j += second;
            streak = second == last ? streak + 1 : 1;
            last = second;
            if (streak >= kGallopAfter && i < mid && j < hi) {
                size_t from = second ? j : i, to = second ? GallopFrom(v, j, hi, [&](int32_t r) { return cmp_(a, r) > 0; })
                                                          : FirstAfter(v, i, mid, b);
                k = size_t(std::copy(v.begin() + from, v.begin() + to, tmp.begin() + k) - tmp.begin());
                (second ? j : i) = to;
                streak = 0;
                if (!Due(to - from))
                    return false;
            }
            if (fetch) {
                size_t at = second ? j : i, end = second ? hi : mid;
                Fetch(v, at + kNear, end, at + kFar, end);
            }
            if (!Due(1))
                return false;
        }
        std::copy(v.begin() + i, v.begin() + mid, tmp.begin() + k);
        std::copy(v.begin() + j, v.begin() + hi, tmp.begin() + k + (mid - i));
        return true;
    }

    // Asks for the cells of the row at `soon` and the slot of the row at `later`, each if its
    // run reaches that far.
    void Fetch(const std::vector<int32_t>& v, size_t soon, size_t soonEnd, size_t later, size_t laterEnd)
    {
        ahead_(later < laterEnd ? v[later] : -1, soon < soonEnd ? v[soon] : -1);
    }

    Compare& cmp_;
    Ahead& ahead_;
    Turn& turn_;
    size_t done_ = 0, nextTurn_ = kStepsBetweenTurns;
};

} // namespace fw
