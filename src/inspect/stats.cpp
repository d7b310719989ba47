// Statistics: json_stats_json counts the live document's keys, numbers,
// strings, arrays and objects, its depth and its minified length.
#include <cstdio>
#include <vector>

#include "je_inspect.h"

constexpr size_t JE_STATS_SIZE = 1024;  // statistics text, NUL included

static char je_stats[JE_STATS_SIZE];

namespace {
struct je_statcounts {
    uint64_t keys;
    uint64_t numbers;
    uint64_t strings;
    uint64_t arrays;
    uint64_t objects;
    uint64_t depth;
};
}  // namespace

// The root is level 1; a value's level is one more than its container's,
// which is the number of open containers plus one.
template <class V>
static void je_stats_walk(V *root, je_statcounts &c) {
    je_walk(root, [&](V *key, V *val, size_t depth) {
        if (key) ++c.keys;
        uint64_t level = depth + 1;
        if (level > c.depth) c.depth = level;
        switch (je_type(val)) {
            case YYJSON_TYPE_OBJ: ++c.objects; break;
            case YYJSON_TYPE_ARR: ++c.arrays; break;
            case YYJSON_TYPE_NUM: ++c.numbers; break;
            case YYJSON_TYPE_STR: ++c.strings; break;
            default: break;
        }
        return je_step_to::into;
    });
}

extern "C" JSONENGINE_API const char *json_stats_json(void) {
    je_err_clear();
    return je_guard<const char *>(je_empty, []() -> const char * {
        if (!je_doc_ensure()) {
            je_set_error("no document loaded");
            return je_empty;
        }
        je_statcounts c{};
        size_t bytes = 0;
        je_with_root([&](auto *root) {
            je_stats_walk(root, c);
            char *text = je_write_val(root, &bytes);
            if (!text) je_set_error("internal: json write failed");
            free(text);
        });
        snprintf(je_stats, sizeof je_stats,
                 "{\"bytes\":%llu,\"depth\":%llu,\"keys\":%llu,\"numbers\":%llu,\"strings\":%llu,\"arrays\":%llu,"
                 "\"objects\":%llu}",
                 static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(c.depth),
                 static_cast<unsigned long long>(c.keys), static_cast<unsigned long long>(c.numbers),
                 static_cast<unsigned long long>(c.strings), static_cast<unsigned long long>(c.arrays),
                 static_cast<unsigned long long>(c.objects));
        return je_stats;
    });
}
