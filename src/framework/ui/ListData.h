#pragma once
// The rows of a Listbox, kept column by column: one column of texts per column of the list,
// and one of tags for each column that was ever given a tag.
#include "framework/runtime/BulkMemory.h"
#include "framework/runtime/String.h"
#include "framework/runtime/Variant.h"

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

namespace fw {

// A column of values in blocks of 4096: growing never copies, little room is left unused,
// and reading down a column walks long stretches of contiguous memory. The blocks come from
// the bulk pools, which keep them for the next list.
template <typename T>
class Column {
public:
    static constexpr size_t kShift = 12, kBlock = size_t(1) << kShift;

    Column() = default;
    explicit Column(size_t n) { resize(n); }
    Column(const Column&) = delete;
    Column& operator=(const Column&) = delete;
    Column(Column&& o) noexcept { swap(o); }
    Column& operator=(Column&& o) noexcept
    {
        Column(std::move(o)).swap(*this);
        return *this;
    }
    ~Column()
    {
        for (T* b : blocks_)
            FreeBlock(b);
    }
    T& operator[](size_t i) { return blocks_[i >> kShift][i & (kBlock - 1)]; }
    const T& operator[](size_t i) const { return blocks_[i >> kShift][i & (kBlock - 1)]; }
    size_t size() const { return size_; }
    void push_back(T v)
    {
        if ((size_ & (kBlock - 1)) == 0 && (size_ >> kShift) == blocks_.size())
            AddBlock();
        (*this)[size_++] = std::move(v);
    }
    void emplace_back() { push_back(T()); }
    void resize(size_t n)
    {
        while (blocks_.size() * kBlock < n)
            AddBlock();
        for (size_t i = n; i < size_; ++i)
            (*this)[i] = T();
        size_ = n;
    }
    void swap(Column& o) noexcept
    {
        blocks_.swap(o.blocks_);
        std::swap(size_, o.size_);
    }

private:
    static BulkPool& Pool() { return BulkPoolOf<kBlock * sizeof(T)>(); }
    void AddBlock()
    {
        blocks_.reserve(blocks_.size() + 1);
        T* block = static_cast<T*>(Pool().Take());
        std::uninitialized_value_construct_n(block, kBlock);
        blocks_.push_back(block);
    }
    static void FreeBlock(T* b)
    {
        std::destroy_n(b, kBlock);
        Pool().Give(b);
    }

    std::vector<T*> blocks_;
    size_t size_ = 0;
};

// A row's cells stay in the slot where they were added; the rows' order is a map from row to
// slot. So a sort of a million rows moves four bytes a row, at once, instead of every cell.
class ListData {
public:
    std::vector<Column<String>> cells;                // by slot
    std::vector<std::unique_ptr<Column<Variant>>> tags; // by slot
    std::vector<int32_t> slotOf;                       // by row
    int32_t count = 0;

    String& Cell(int32_t row, int32_t column) { return cells[size_t(column)][size_t(slotOf[size_t(row)])]; }
    const String& Cell(int32_t row, int32_t column) const
    {
        return cells[size_t(column)][size_t(slotOf[size_t(row)])];
    }
    void Resize(int32_t columns);
    void Append(const String& first);
    void Clear();
};

} // namespace fw
