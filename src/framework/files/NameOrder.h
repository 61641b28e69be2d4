#pragma once
// Sorting many names at once in the order fw::NaturalCompare gives, as a folder's entries are.
// A folder of a hundred thousand pictures is sorted in one go, and comparing name by name,
// decoding characters each time, would cost more than reading the folder from disk.
#include <cstdint>
#include <string_view>
#include <vector>

namespace fw {

// The indices of the names, in NaturalCompare order.
std::vector<uint32_t> NaturalOrder(const std::vector<std::string_view>& names);

} // namespace fw
