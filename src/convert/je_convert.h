// Pieces shared by merge, diff and CSV export: a table from key bytes to
// small integers that scans while it is small and hashes once it grows.
// Walking pieces come from je_tree.h.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "je_tree.h"

// Below this many keys a linear scan beats hashing; from here on the table
// keeps a hash index so large objects do not cost a scan per lookup.
constexpr size_t JE_KEY_INDEX_MIN = 16;

// Distinct keys (exact bytes, NUL bytes included) numbered 0, 1, ... in the
// order they were added. The viewed bytes must outlive the table.
class je_key_table {
public:
    // The key's number, or -1 when it was never added.
    int32_t find(std::string_view key) const {
        if (indexed_) {
            auto it = index_.find(key);
            return it == index_.end() ? -1 : it->second;
        }
        for (size_t i = 0; i < keys_.size(); ++i)
            if (keys_[i] == key) return static_cast<int32_t>(i);
        return -1;
    }
    // Adds a key that find() does not know and returns its number.
    int32_t add(std::string_view key) {
        int32_t n = static_cast<int32_t>(keys_.size());
        keys_.push_back(key);
        if (indexed_) {
            index_.emplace(key, n);
        } else if (keys_.size() >= JE_KEY_INDEX_MIN) {
            index_.reserve(keys_.size() * 2);
            for (size_t i = 0; i < keys_.size(); ++i) index_.emplace(keys_[i], static_cast<int32_t>(i));
            indexed_ = true;
        }
        return n;
    }
    int32_t size() const { return static_cast<int32_t>(keys_.size()); }
    std::string_view key(int32_t n) const { return keys_[static_cast<size_t>(n)]; }
    // Empties the table; a large index is dropped rather than cleared, so a
    // table reused for many small objects does not sweep old buckets.
    void clear() {
        keys_.clear();
        if (indexed_) {
            index_ = {};
            indexed_ = false;
        }
    }

private:
    std::vector<std::string_view> keys_;
    std::unordered_map<std::string_view, int32_t> index_;
    bool indexed_ = false;
};

// ---- CSV ----------------------------------------------------------------------

constexpr int32_t JE_CSV_MAX_COLUMNS = 256;  // columns of both conversions
constexpr size_t JE_CSV_FIELD_SIZE = 256;    // one field or name: 255 bytes + NUL
static_assert(JSONENGINE_CSV_MAX_COLUMNS == JE_CSV_MAX_COLUMNS);
static_assert(JSONENGINE_CSV_CELL_MAX == JE_CSV_FIELD_SIZE - 1);

// Reads one CSV field at cur into out (JE_CSV_FIELD_SIZE bytes, cut to a
// whole UTF-8 character) and *out_len; returns the cursor past the field and
// its terminator (a comma, a line feed, a carriage return with an optional
// line feed), or at the end of the text.
const char *je_csv_field(const char *cur, char *out, size_t *out_len);
