#include "NameOrder.h"

#include "framework/runtime/StringFunctions.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace fw {
namespace {

constexpr uint32_t kNoKey = UINT32_MAX;
constexpr unsigned char kDigitRun = '0'; // sorts against other characters as any digit does

bool IsDigit(unsigned char c) { return unsigned(c - '0') < 10u; }

// Appends the sort key of a name made of ASCII: letters in lower case; each run of digits as
// a marker, the count of its digits without leading zeros, then those digits. Compared byte by
// byte, keys give NaturalCompare's order; equal keys leave it to the names' own bytes, as
// NaturalCompare does. False, with nothing appended, for a name this cannot encode.
bool AppendKey(std::string_view name, std::string& keys)
{
    size_t start = keys.size();
    for (size_t i = 0; i < name.size();) {
        auto c = static_cast<unsigned char>(name[i]);
        if (c & 0x80) {
            keys.resize(start); // past ASCII: letter case needs the full comparison
            return false;
        }
        if (!IsDigit(c)) {
            keys.push_back(char(c >= 'A' && c <= 'Z' ? c + 32 : c));
            ++i;
            continue;
        }
        size_t first = i;
        while (first < name.size() && name[first] == '0')
            ++first;
        size_t end = first;
        while (end < name.size() && IsDigit(static_cast<unsigned char>(name[end])))
            ++end;
        if (end - first > 255) {
            keys.resize(start);
            return false;
        }
        keys.push_back(char(kDigitRun));
        keys.push_back(char(end - first));
        keys.append(name.substr(first, end - first));
        i = end;
    }
    return true;
}

struct SortRecord {
    uint64_t head = 0;         // the key's first eight bytes, big-endian: most comparisons end here
    uint32_t keyStart = kNoKey; // kNoKey: the name is compared with NaturalCompare itself
    uint32_t keySize = 0;
    uint32_t index = 0;
};

uint64_t Head(const char* key, size_t size)
{
    uint64_t head = 0;
    for (size_t k = 0; k < 8; ++k)
        head = head << 8 | (k < size ? static_cast<unsigned char>(key[k]) : 0);
    return head;
}

class Sorter {
public:
    explicit Sorter(const std::vector<std::string_view>& names) : names_(names) {}

    std::vector<uint32_t> Order()
    {
        std::vector<SortRecord> records(names_.size());
        size_t bytes = 0;
        for (std::string_view name : names_)
            bytes += name.size();
        keys_.reserve(bytes + bytes / 2);
        for (uint32_t i = 0; i < records.size(); ++i) {
            SortRecord& r = records[i];
            r.index = i;
            size_t start = keys_.size();
            if (AppendKey(names_[i], keys_)) {
                r.keyStart = uint32_t(start);
                r.keySize = uint32_t(keys_.size() - start);
            }
        }
        // Heads are read once the buffer has stopped moving, past what all keys begin with
        // ("img_" and the length of the number, in a folder a camera filled).
        shared_ = SharedPrefix(records);
        for (SortRecord& r : records)
            if (r.keyStart != kNoKey)
                r.head = Head(keys_.data() + r.keyStart + shared_, r.keySize - shared_);
        std::sort(records.begin(), records.end(),
                  [this](const SortRecord& a, const SortRecord& b) { return Before(a, b); });
        std::vector<uint32_t> order(records.size());
        for (size_t i = 0; i < records.size(); ++i)
            order[i] = records[i].index;
        return order;
    }

private:
    bool Before(const SortRecord& a, const SortRecord& b) const
    {
        std::string_view x = names_[a.index], y = names_[b.index];
        if (a.keyStart == kNoKey || b.keyStart == kNoKey)
            return NaturalCompare(x, y) < 0;
        if (a.head != b.head)
            return a.head < b.head;
        if (int c = CompareKeyTails(a, b); c != 0)
            return c < 0;
        return x < y;
    }

    // A key never continues with a zero byte where another ends, so the zero padding of the
    // heads cannot make a shorter key look equal to a longer one.
    int CompareKeyTails(const SortRecord& a, const SortRecord& b) const
    {
        uint32_t common = std::min(a.keySize, b.keySize);
        uint32_t seen = shared_ + 8;
        if (common > seen)
            if (int c = std::memcmp(keys_.data() + a.keyStart + seen, keys_.data() + b.keyStart + seen, common - seen))
                return c;
        return a.keySize == b.keySize ? 0 : a.keySize < b.keySize ? -1 : 1;
    }

    // How many bytes every key begins with.
    uint32_t SharedPrefix(const std::vector<SortRecord>& records) const
    {
        const SortRecord* first = nullptr;
        uint32_t shared = 0;
        for (const SortRecord& r : records) {
            if (r.keyStart == kNoKey)
                continue;
            if (!first) {
                first = &r;
                shared = r.keySize;
                continue;
            }
            const char* a = keys_.data() + first->keyStart;
            const char* b = keys_.data() + r.keyStart;
            uint32_t n = std::min(shared, r.keySize), k = 0;
            while (k < n && a[k] == b[k])
                ++k;
            shared = k;
        }
        return shared;
    }

    const std::vector<std::string_view>& names_;
    std::string keys_;
    uint32_t shared_ = 0;
};

} // namespace

std::vector<uint32_t> NaturalOrder(const std::vector<std::string_view>& names)
{
    return Sorter(names).Order();
}

} // namespace fw
