#pragma once
// The rows of a Listbox, kept column by column: one block list of texts per column, and one of
// tags for each column that was ever given a tag. Block lists grow without copying and keep
// little slack, which matters at a million rows.
#include "framework/runtime/String.h"
#include "framework/runtime/Variant.h"

#include <deque>
#include <memory>
#include <vector>

namespace fw {

class ListData {
public:
    std::vector<std::deque<String>> cells;
    std::vector<std::unique_ptr<std::deque<Variant>>> tags;
    int32_t count = 0;

    void Resize(int32_t columns);
    void Append(const String& first);
    void Clear();
    void Permute(const std::vector<int32_t>& order);
};

} // namespace fw
