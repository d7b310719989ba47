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

namespace {
struct je_sframe {
    je_cursor cur;
    bool is_obj;
};
}  // namespace

// The root is level 1; a value's level is one more than its container's,
// which is the number of open containers plus one.
static void je_stats_walk(yyjson_mut_val *root, je_statcounts &c) {
    std::vector<je_sframe> stack;
    yyjson_mut_val *val = root;
    for (;;) {
        if (val) {
            uint64_t level = stack.size() + 1;
            if (level > c.depth) c.depth = level;
            switch (yyjson_mut_get_type(val)) {
                case YYJSON_TYPE_OBJ:
                    ++c.objects;
                    stack.push_back({je_cursor_of(val), true});
                    break;
                case YYJSON_TYPE_ARR:
                    ++c.arrays;
                    stack.push_back({je_cursor_of(val), false});
                    break;
                case YYJSON_TYPE_NUM: ++c.numbers; break;
                case YYJSON_TYPE_STR: ++c.strings; break;
                default: break;
            }
        }
        if (stack.empty()) return;
        je_sframe &f = stack.back();
        if (f.is_obj) {
            yyjson_mut_val *key = je_cursor_key(f.cur);
            if (key) ++c.keys;
            val = key ? key->next : nullptr;
        } else {
            val = je_cursor_elem(f.cur);
        }
        if (!val) stack.pop_back();
    }
}

extern "C" JSONENGINE_API const char *json_stats_json(void) {
    je_err_clear();
    return je_guard<const char *>(je_empty, []() -> const char * {
        if (!je_doc_ensure()) {
            je_set_error("no document loaded");
            return je_empty;
        }
        yyjson_mut_val *root = yyjson_mut_doc_get_root(je_doc);
        je_statcounts c{};
        je_stats_walk(root, c);
        size_t bytes = 0;
        char *text = je_write_val(root, &bytes);
        if (!text) je_set_error("internal: json write failed");
        free(text);
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
