// Queries: each engine query beside a hand-written yyjson loop over the
// mutable document that yields the same results (path and compact value
// text of each, at most the 4000 the result table keeps).
#include <cstring>

#include "bench_common.h"

namespace jebench {

namespace {

constexpr size_t MAX_RESULTS = 4000;

struct results {
    std::vector<std::string> paths, values;
    size_t n = 0;
    // Stores one result, reusing the strings of earlier runs; false when full.
    bool add(const std::string &path, const yyjson_mut_val *val) {
        if (n == MAX_RESULTS) return false;
        if (n == paths.size()) {
            paths.emplace_back();
            values.emplace_back();
        }
        paths[n] = path;
        values[n].clear();
        append_val(values[n], val);
        ++n;
        return true;
    }
    void add_text(const std::string &path, const std::string &text) {
        if (n == MAX_RESULTS) return;
        if (n == paths.size()) {
            paths.emplace_back();
            values.emplace_back();
        }
        paths[n] = path;
        values[n] = text;
        ++n;
    }
    std::string raw() const {
        std::string out = "[";
        for (size_t i = 0; i < n; ++i) {
            if (i) out += ',';
            out += values[i];
        }
        return out + "]";
    }
};

yyjson_mut_val *get(yyjson_mut_val *obj, const char *key) { return yyjson_mut_obj_get(obj, key); }

std::string idx_path(const char *head, size_t i, const char *tail) {
    std::string p = head;
    p += '[';
    p += std::to_string(i);
    p += ']';
    p += tail;
    return p;
}

// $.statuses[].user.screen_name
void q_names(yyjson_mut_val *root, results &r) {
    yyjson_mut_val *statuses = get(root, "statuses");
    size_t i, max;
    yyjson_mut_val *s;
    yyjson_mut_arr_foreach(statuses, i, max, s) {
        yyjson_mut_val *name = get(get(s, "user"), "screen_name");
        if (name && !r.add(idx_path("$.statuses", i, ".user.screen_name"), name)) return;
    }
}

// $.statuses[?.user.followers_count > 1000].user.screen_name
void q_filter(yyjson_mut_val *root, results &r) {
    yyjson_mut_val *statuses = get(root, "statuses");
    size_t i, max;
    yyjson_mut_val *s;
    yyjson_mut_arr_foreach(statuses, i, max, s) {
        yyjson_mut_val *count = get(get(s, "user"), "followers_count");
        if (!count || !yyjson_mut_is_num(count) || yyjson_mut_get_num(count) <= 1000) continue;
        yyjson_mut_val *name = get(get(s, "user"), "screen_name");
        if (name && !r.add(idx_path("$.statuses", i, ".user.screen_name"), name)) return;
    }
}

// $.statuses | map(.user.screen_name)
void q_map(yyjson_mut_val *root, results &r) {
    yyjson_mut_val *statuses = get(root, "statuses");
    if (!yyjson_mut_is_arr(statuses)) return;
    yyjson_mut_doc *made = yyjson_mut_doc_new(nullptr);
    yyjson_mut_val *arr = yyjson_mut_arr(made);
    size_t i, max;
    yyjson_mut_val *s;
    yyjson_mut_arr_foreach(statuses, i, max, s) {
        yyjson_mut_val *name = get(get(s, "user"), "screen_name");
        if (name) yyjson_mut_arr_append(arr, yyjson_mut_val_mut_copy(made, name));
    }
    r.add("$.statuses", arr);
    yyjson_mut_doc_free(made);
}

// $.performances[].seatCategories[].seatCategoryId
void q_seats(yyjson_mut_val *root, results &r) {
    size_t i, imax, j, jmax;
    yyjson_mut_val *p, *c;
    yyjson_mut_arr_foreach(get(root, "performances"), i, imax, p) {
        yyjson_mut_arr_foreach(get(p, "seatCategories"), j, jmax, c) {
            yyjson_mut_val *id = get(c, "seatCategoryId");
            if (id &&
                !r.add(idx_path(idx_path("$.performances", i, ".seatCategories").c_str(), j, ".seatCategoryId"), id))
                return;
        }
    }
}

// $.features[0].geometry.coordinates[] | length
void q_rings(yyjson_mut_val *root, results &r) {
    yyjson_mut_val *coords = get(get(yyjson_mut_arr_get(get(root, "features"), 0), "geometry"), "coordinates");
    size_t i, max;
    yyjson_mut_val *ring;
    yyjson_mut_arr_foreach(coords, i, max, ring) {
        size_t n = yyjson_mut_is_arr(ring) ? yyjson_mut_arr_size(ring) : 0;
        r.add_text(idx_path("$.features[0].geometry.coordinates", i, ""), std::to_string(n));
    }
}

// $.items[].name: the table keeps the first 4000, so the loop stops there.
void q_items(yyjson_mut_val *root, results &r) {
    size_t i, max;
    yyjson_mut_val *item;
    yyjson_mut_arr_foreach(get(root, "items"), i, max, item) {
        yyjson_mut_val *name = get(item, "name");
        if (name && !r.add(idx_path("$.items", i, ".name"), name)) return;
    }
}

// $.items[?.score > 99].id
void q_items_filter(yyjson_mut_val *root, results &r) {
    size_t i, max;
    yyjson_mut_val *item;
    yyjson_mut_arr_foreach(get(root, "items"), i, max, item) {
        yyjson_mut_val *score = get(item, "score");
        if (!score || !yyjson_mut_is_num(score) || yyjson_mut_get_num(score) <= 99) continue;
        yyjson_mut_val *id = get(item, "id");
        if (id && !r.add(idx_path("$.items", i, ".id"), id)) return;
    }
}

struct query_case {
    const char *doc;
    const char *family;
    const char *query;
    void (*baseline)(yyjson_mut_val *root, results &r);
};

const query_case cases[] = {
    {"twitter", "query-wildcard", "$.statuses[].user.screen_name", q_names},
    {"twitter", "query-filter", "$.statuses[?.user.followers_count > 1000].user.screen_name", q_filter},
    {"twitter", "query-map", "$.statuses | map(.user.screen_name)", q_map},
    {"citm", "query-wildcard", "$.performances[].seatCategories[].seatCategoryId", q_seats},
    {"canada", "query-length", "$.features[0].geometry.coordinates[] | length", q_rings},
    {"large", "query-wildcard", "$.items[].name", q_items},
    {"large", "query-filter", "$.items[?.score > 99].id", q_items_filter},
};

}  // namespace

void register_query(doc &d) {
    for (const query_case &c : cases) {
        if (d.name != c.doc) continue;
        add(c.family, d, "engine", [&d, &c](benchmark::State &st) {
            if (!engine_load(st, d)) return;
            if (!engine_ok(st, json_query(c.query) == 0, "json_query")) return;
            results r;
            c.baseline(yyjson_mut_doc_get_root(baseline_doc(d)), r);
            check_same(st, json_query_raw(), r.raw());
            if (static_cast<size_t>(json_query_count()) == r.n && r.n > 0 && json_query_field(0, "path") != r.paths[0])
                st.SetLabel("result paths differ from baseline");
            for (auto _ : st)
                if (!engine_ok(st, json_query(c.query) == 0, "json_query")) break;
            st.counters["results"] = json_query_count();
        });
        add(c.family, d, "yyjson", [&d, &c](benchmark::State &st) {
            yyjson_mut_val *root = yyjson_mut_doc_get_root(baseline_doc(d));
            results r;
            for (auto _ : st) {
                r.n = 0;
                c.baseline(root, r);
                benchmark::DoNotOptimize(r.n);
            }
            st.counters["results"] = static_cast<double>(r.n);
        });
    }
}

}  // namespace jebench
