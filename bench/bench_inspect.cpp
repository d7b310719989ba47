// Validation, statistics, search, flattening and the three format layouts.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bench_common.h"

namespace jebench {

namespace {

// ---- validate: strict read, then depth and duplicate keys -----------------------

bool has_duplicate_keys(yyjson_val *obj, std::vector<std::pair<const char *, size_t>> &keys) {
    size_t n = yyjson_obj_size(obj);
    if (n < 2) return false;
    keys.clear();
    size_t i, max;
    yyjson_val *k, *v;
    yyjson_obj_foreach(obj, i, max, k, v) keys.emplace_back(yyjson_get_str(k), yyjson_get_len(k));
    auto less = [](const auto &a, const auto &b) {
        int c = memcmp(a.first, b.first, std::min(a.second, b.second));
        return c < 0 || (c == 0 && a.second < b.second);
    };
    std::sort(keys.begin(), keys.end(), less);
    for (size_t j = 1; j < n; ++j)
        if (keys[j - 1].second == keys[j].second && memcmp(keys[j - 1].first, keys[j].first, keys[j].second) == 0)
            return true;
    return false;
}

int baseline_validate(const std::string &text) {
    yyjson_doc *doc = yyjson_read(text.data(), text.size(), 0);
    if (!doc) return -1;
    bool duplicate = false, deep = false;
    std::vector<std::pair<yyjson_val *, size_t>> stack{{yyjson_doc_get_root(doc), 1}};
    std::vector<std::pair<const char *, size_t>> keys;
    while (!stack.empty()) {
        auto [val, level] = stack.back();
        stack.pop_back();
        if (level > 512) deep = true;
        size_t i, max;
        yyjson_val *k, *v;
        if (yyjson_is_obj(val)) {
            if (!duplicate && has_duplicate_keys(val, keys)) duplicate = true;
            yyjson_obj_foreach(val, i, max, k, v) if (yyjson_is_ctn(v) || level >= 512)
                stack.emplace_back(v, level + 1);
        } else if (yyjson_is_arr(val)) {
            yyjson_arr_foreach(val, i, max, v) if (yyjson_is_ctn(v) || level >= 512) stack.emplace_back(v, level + 1);
        }
    }
    yyjson_doc_free(doc);
    return duplicate || deep ? -1 : 0;
}

// ---- stats -----------------------------------------------------------------------

std::string baseline_stats(yyjson_mut_doc *doc) {
    unsigned long long depth = 0, keys = 0, numbers = 0, strings = 0, arrays = 0, objects = 0;
    walk(yyjson_mut_doc_get_root(doc), path_style::none,
         [&](yyjson_mut_val *key, yyjson_mut_val *val, size_t level, const std::string &) {
             if (level > depth) depth = level;
             if (key) ++keys;
             switch (yyjson_mut_get_type(val)) {
                 case YYJSON_TYPE_OBJ: ++objects; break;
                 case YYJSON_TYPE_ARR: ++arrays; break;
                 case YYJSON_TYPE_NUM: ++numbers; break;
                 case YYJSON_TYPE_STR: ++strings; break;
                 default: break;
             }
             return true;
         });
    size_t len = 0;
    char *text = yyjson_mut_val_write(yyjson_mut_doc_get_root(doc), 0, &len);
    free(text);
    char out[1024];
    snprintf(out, sizeof out,
             "{\"bytes\":%llu,\"depth\":%llu,\"keys\":%llu,\"numbers\":%llu,\"strings\":%llu,\"arrays\":%llu,"
             "\"objects\":%llu}",
             static_cast<unsigned long long>(len), depth, keys, numbers, strings, arrays, objects);
    return out;
}

// ---- search ------------------------------------------------------------------------

constexpr size_t MAX_HITS = 10000;

struct hits {
    std::vector<std::string> path, key, value;
    size_t n = 0;
    void add(const std::string &p, const char *k, const yyjson_mut_val *json, const char *raw) {
        if (n == path.size()) {
            path.emplace_back();
            key.emplace_back();
            value.emplace_back();
        }
        path[n] = p;
        key[n] = k;
        value[n].clear();
        if (json)
            append_val(value[n], json);
        else
            value[n] = raw;
        ++n;
    }
    std::string dump() const {
        std::string out;
        for (size_t i = 0; i < n; ++i) out += path[i] + '\t' + key[i] + '\t' + value[i] + '\n';
        return out;
    }
};

void baseline_search(yyjson_mut_val *root, const char *pattern, hits &h) {
    h.n = 0;
    walk(root, path_style::dollar, [&](yyjson_mut_val *key, yyjson_mut_val *val, size_t, const std::string &path) {
        if (key && strstr(yyjson_mut_get_str(key), pattern)) {
            h.add(path, yyjson_mut_get_str(key), val, nullptr);
            if (h.n == MAX_HITS) return false;
        }
        if (yyjson_mut_is_str(val) && strstr(yyjson_mut_get_str(val), pattern)) {
            h.add(path, "", nullptr, yyjson_mut_get_str(val));
            if (h.n == MAX_HITS) return false;
        }
        return true;
    });
}

std::string engine_hits() {
    std::string out;
    int n = json_search_count();
    for (int i = 0; i < n; ++i) {
        out += json_search_field(i, "path");
        out += '\t';
        out += json_search_field(i, "key");
        out += '\t';
        out += json_search_field(i, "value");
        out += '\n';
    }
    return out;
}

// ---- flatten -------------------------------------------------------------------------

constexpr size_t MAX_LEAVES = 10000;

void escape_key(std::string &out, const std::string &key) {
    for (unsigned char c : key) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x01 && c <= 0x1F) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
}

void baseline_flatten(yyjson_mut_val *root, std::string &out) {
    out.clear();
    out += '{';
    size_t leaves = 0;
    walk(root, path_style::flat, [&](yyjson_mut_val *, yyjson_mut_val *val, size_t level, const std::string &path) {
        if (level == 1 || yyjson_mut_is_ctn(val)) return true;
        if (leaves) out += ',';
        out += '"';
        escape_key(out, path);
        out += "\":";
        append_val(out, val);
        return ++leaves < MAX_LEAVES;
    });
    if (!leaves) {
        out += "\"$\":";
        append_val(out, root);
    }
    out += '}';
}

// ---- sorted layout: copy, then reorder each object's members in place --------------------

yyjson_mut_doc *baseline_sorted(yyjson_mut_doc *src) {
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    yyjson_mut_val *root = yyjson_mut_val_mut_copy(doc, yyjson_mut_doc_get_root(src));
    yyjson_mut_doc_set_root(doc, root);
    std::vector<yyjson_mut_val *> stack{root};
    std::vector<yyjson_mut_val *> keys;
    while (!stack.empty()) {
        yyjson_mut_val *val = stack.back();
        stack.pop_back();
        size_t i, max;
        yyjson_mut_val *k, *v;
        if (yyjson_mut_is_arr(val)) {
            yyjson_mut_arr_foreach(val, i, max, v) if (yyjson_mut_is_ctn(v)) stack.push_back(v);
            continue;
        }
        if (!yyjson_mut_is_obj(val)) continue;
        keys.clear();
        yyjson_mut_obj_foreach(val, i, max, k, v) keys.push_back(k);
        std::stable_sort(keys.begin(), keys.end(), [](yyjson_mut_val *a, yyjson_mut_val *b) {
            return strcmp(yyjson_mut_get_str(a), yyjson_mut_get_str(b)) < 0;
        });
        yyjson_mut_obj_clear(val);
        for (size_t j = 0; j < keys.size(); ++j) {
            // Of equal keys the last one's value stands, at the first one's place.
            size_t last = j;
            while (last + 1 < keys.size() &&
                   strcmp(yyjson_mut_get_str(keys[j]), yyjson_mut_get_str(keys[last + 1])) == 0)
                ++last;
            yyjson_mut_val *value = keys[last]->next;
            yyjson_mut_obj_add(val, keys[j], value);
            if (yyjson_mut_is_ctn(value)) stack.push_back(value);
            j = last;
        }
    }
    return doc;
}

// ---- per-document inputs -------------------------------------------------------------------

const char *search_pattern(const doc &d) {
    if (d.name == "twitter") return "http";
    if (d.name == "citm") return "balcon";
    if (d.name == "canada") return "Poly";
    if (d.name == "large") return "Lyon";
    return nullptr;
}

std::string to_string_and_free(char *text, size_t len) {
    std::string s = text ? std::string(text, len) : std::string();
    free(text);
    return s;
}

void register_format(doc &d, const char *mode) {
    std::string family = std::string("format-") + mode;
    auto baseline = [mode](yyjson_mut_doc *doc, size_t *len) -> char * {
        // The writer of a value: the document-level writer sizes its first
        // buffer from the document's pools, which edits let grow.
        yyjson_mut_val *root = yyjson_mut_doc_get_root(doc);
        if (strcmp(mode, "pretty") == 0) return yyjson_mut_val_write(root, YYJSON_WRITE_PRETTY, len);
        if (strcmp(mode, "minify") == 0) return yyjson_mut_val_write(root, 0, len);
        yyjson_mut_doc *sorted = baseline_sorted(doc);
        char *text = yyjson_mut_val_write(yyjson_mut_doc_get_root(sorted), 0, len);
        yyjson_mut_doc_free(sorted);
        return text;
    };
    add(family, d, "engine", [&d, mode, baseline](benchmark::State &st) {
        if (!engine_load(st, d)) return;
        const char *text = json_format(mode);
        if (!engine_ok(st, text[0] != '\0', "json_format")) return;
        size_t len = 0;
        char *expect = baseline(baseline_doc(d), &len);
        check_same(st, text, to_string_and_free(expect, len));
        for (auto _ : st) benchmark::DoNotOptimize(json_format(mode));
    });
    add(family, d, "yyjson", [&d, baseline](benchmark::State &st) {
        yyjson_mut_doc *doc = baseline_doc(d);
        for (auto _ : st) {
            size_t len = 0;
            char *text = baseline(doc, &len);
            benchmark::DoNotOptimize(text);
            free(text);
        }
    });
}

}  // namespace

void register_inspect(doc &d) {
    if (d.name == "rows") return;  // the record array is for loading and CSV only
    add("validate", d, "engine", [&d](benchmark::State &st) {
        if (!engine_ok(st, json_validate(d.json().c_str()) == baseline_validate(d.json()), "json_validate")) return;
        for (auto _ : st) benchmark::DoNotOptimize(json_validate(d.json().c_str()));
    });
    add("validate", d, "yyjson", [&d](benchmark::State &st) {
        for (auto _ : st) benchmark::DoNotOptimize(baseline_validate(d.json()));
    });

    add("stats", d, "engine", [&d](benchmark::State &st) {
        if (!engine_load(st, d)) return;
        const char *text = json_stats_json();
        if (!engine_ok(st, text[0] != '\0', "json_stats_json")) return;
        check_same(st, text, baseline_stats(baseline_doc(d)));
        for (auto _ : st) benchmark::DoNotOptimize(json_stats_json());
    });
    add("stats", d, "yyjson", [&d](benchmark::State &st) {
        yyjson_mut_doc *doc = baseline_doc(d);
        for (auto _ : st) benchmark::DoNotOptimize(baseline_stats(doc));
    });

    const char *pattern = search_pattern(d);
    add("search", d, "engine", [&d, pattern](benchmark::State &st) {
        if (!engine_load(st, d)) return;
        if (!engine_ok(st, json_search("both", pattern) == 0, "json_search")) return;
        hits h;
        baseline_search(yyjson_mut_doc_get_root(baseline_doc(d)), pattern, h);
        check_same(st, engine_hits(), h.dump());
        for (auto _ : st)
            if (!engine_ok(st, json_search("both", pattern) == 0, "json_search")) break;
        st.counters["hits"] = json_search_count();
    });
    add("search", d, "yyjson", [&d, pattern](benchmark::State &st) {
        yyjson_mut_val *root = yyjson_mut_doc_get_root(baseline_doc(d));
        hits h;
        for (auto _ : st) baseline_search(root, pattern, h);
        st.counters["hits"] = static_cast<double>(h.n);
    });

    add("flatten", d, "engine", [&d](benchmark::State &st) {
        if (!engine_load(st, d)) return;
        const char *text = json_flatten();
        if (!engine_ok(st, text[0] != '\0', "json_flatten")) return;
        std::string expect;
        baseline_flatten(yyjson_mut_doc_get_root(baseline_doc(d)), expect);
        check_same(st, text, expect);
        for (auto _ : st) benchmark::DoNotOptimize(json_flatten());
    });
    add("flatten", d, "yyjson", [&d](benchmark::State &st) {
        yyjson_mut_val *root = yyjson_mut_doc_get_root(baseline_doc(d));
        std::string out;
        for (auto _ : st) {
            baseline_flatten(root, out);
            benchmark::DoNotOptimize(out.data());
        }
    });

    for (const char *mode : {"pretty", "minify", "sorted"}) register_format(d, mode);
}

}  // namespace jebench
