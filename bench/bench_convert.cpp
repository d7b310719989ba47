// Diff, merge, and CSV both ways.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "bench_common.h"
#include "gen.h"

namespace jebench {

namespace {

// ---- diff --------------------------------------------------------------------------

constexpr size_t MAX_ROWS = 10000;

struct diff_rows {
    std::vector<std::string> text;  // "path\ttype\ta\tb" per row
    size_t n = 0;
    std::string &next() {
        if (n == text.size()) text.emplace_back();
        text[n].clear();
        return text[n++];
    }
    void add(const std::string &path, const char *type, const yyjson_mut_val *a, const yyjson_val *b) {
        if (n == MAX_ROWS) return;
        std::string &row = next();
        row += path;
        row += '\t';
        row += type;
        row += '\t';
        if (a) append_val(row, a);
        row += '\t';
        if (b) append_val(row, b);
    }
    std::string dump() const {
        std::string out;
        for (size_t i = 0; i < n; ++i) out += text[i] + '\n';
        return out;
    }
};

// yyjson's equality for two values of which at most one is a container.
bool scalar_equal(yyjson_mut_val *a, yyjson_val *b) {
    yyjson_type t = yyjson_mut_get_type(a);
    if (t != yyjson_get_type(b)) return false;
    switch (t) {
        case YYJSON_TYPE_STR:
            return yyjson_mut_get_len(a) == yyjson_get_len(b) &&
                   memcmp(yyjson_mut_get_str(a), yyjson_get_str(b), yyjson_get_len(b)) == 0;
        case YYJSON_TYPE_NULL: return true;
        case YYJSON_TYPE_BOOL: return yyjson_mut_get_bool(a) == yyjson_get_bool(b);
        case YYJSON_TYPE_NUM: {
            yyjson_subtype sa = yyjson_mut_get_subtype(a), sb = yyjson_get_subtype(b);
            if (sa == YYJSON_SUBTYPE_REAL || sb == YYJSON_SUBTYPE_REAL)
                return sa == sb && a->uni.u64 == b->uni.u64;  // same bits
            if (sa == sb) return a->uni.u64 == b->uni.u64;
            return a->uni.i64 >= 0 && b->uni.i64 >= 0 && a->uni.u64 == b->uni.u64;
        }
        default: return false;
    }
}

void baseline_diff(yyjson_mut_val *ra, yyjson_val *rb, diff_rows &rows) {
    rows.n = 0;
    struct frame {
        yyjson_mut_val *a;
        yyjson_val *b;
        size_t path_len;
        bool obj;
        bool second_pass;        // objects: the members only B has
        yyjson_mut_obj_iter ai;  // objects, first pass
        yyjson_obj_iter bi;      // objects, second pass
        size_t index, na, nb;    // arrays
        yyjson_mut_val *a_elem;  // arrays: A's element at index
        yyjson_arr_iter b_iter;  // arrays: B's elements
    };
    std::string path = "$";
    std::vector<frame> stack;
    // Compares a pair at the current path: a container pair of one kind is
    // pushed, any other pair is one row or nothing.
    auto pair = [&](yyjson_mut_val *a, yyjson_val *b) {
        bool both_obj = yyjson_mut_is_obj(a) && yyjson_is_obj(b);
        bool both_arr = yyjson_mut_is_arr(a) && yyjson_is_arr(b);
        if (both_obj || both_arr) {
            frame f{};
            f.a = a;
            f.b = b;
            f.path_len = path.size();
            f.obj = both_obj;
            if (both_obj) {
                f.ai = yyjson_mut_obj_iter_with(a);
            } else {
                f.na = yyjson_mut_arr_size(a);
                f.nb = yyjson_arr_size(b);
                f.a_elem = yyjson_mut_arr_get_first(a);
                f.b_iter = yyjson_arr_iter_with(b);
            }
            stack.push_back(f);
        } else if ((yyjson_mut_is_ctn(a) || yyjson_is_ctn(b)) || !scalar_equal(a, b)) {
            rows.add(path, "changed", a, b);
        }
    };
    pair(ra, rb);
    while (!stack.empty() && rows.n < MAX_ROWS) {
        frame &f = stack.back();
        path.resize(f.path_len);
        if (f.obj) {
            if (!f.second_pass) {
                yyjson_mut_val *key = yyjson_mut_obj_iter_next(&f.ai);
                if (!key) {
                    f.second_pass = true;
                    f.bi = yyjson_obj_iter_with(f.b);
                    continue;
                }
                path += '.';
                path += yyjson_mut_get_str(key);
                yyjson_val *vb = yyjson_obj_getn(f.b, yyjson_mut_get_str(key), yyjson_mut_get_len(key));
                yyjson_mut_val *va = yyjson_mut_obj_iter_get_val(key);
                if (vb)
                    pair(va, vb);  // f may dangle from here on
                else
                    rows.add(path, "removed", va, nullptr);
            } else {
                yyjson_val *key = yyjson_obj_iter_next(&f.bi);
                if (!key) {
                    stack.pop_back();
                    continue;
                }
                if (!yyjson_mut_obj_getn(f.a, yyjson_get_str(key), yyjson_get_len(key))) {
                    path += '.';
                    path += yyjson_get_str(key);
                    rows.add(path, "added", nullptr, yyjson_obj_iter_get_val(key));
                }
            }
        } else {
            if (f.index >= f.na && f.index >= f.nb) {
                stack.pop_back();
                continue;
            }
            size_t i = f.index++;
            yyjson_mut_val *ea = i < f.na ? f.a_elem : nullptr;
            if (ea) f.a_elem = ea->next;
            yyjson_val *eb = i < f.nb ? yyjson_arr_iter_next(&f.b_iter) : nullptr;
            path += '[';
            path += std::to_string(i);
            path += ']';
            if (ea && eb)
                pair(ea, eb);  // f may dangle from here on
            else if (ea)
                rows.add(path, "removed", ea, nullptr);
            else
                rows.add(path, "added", nullptr, eb);
        }
    }
}

std::string engine_diff_rows() {
    std::string out;
    int n = json_diff_count();
    for (int i = 0; i < n; ++i) {
        out += json_diff_field(i, "path");
        for (const char *f : {"type", "a", "b"}) {
            out += '\t';
            out += json_diff_field(i, f);
        }
        out += '\n';
    }
    return out;
}

// The document with one member added at the root: the diff walks everything
// and reports one row.
std::string diff_other(const doc &d) {
    yyjson_mut_doc *copy = yyjson_mut_doc_new(nullptr);
    yyjson_mut_doc_set_root(copy, yyjson_mut_val_mut_copy(copy, yyjson_mut_doc_get_root(baseline_doc(d))));
    yyjson_mut_obj_add_true(copy, yyjson_mut_doc_get_root(copy), "bench_added");
    size_t len = 0;
    char *text = yyjson_mut_write(copy, 0, &len);
    std::string out(text, len);
    free(text);
    yyjson_mut_doc_free(copy);
    return out;
}

// ---- merge -------------------------------------------------------------------------

const char *const merge_patch = "{\"bench_added\":{\"x\":[1,2,3]},\"meta\":{\"version\":2}}";

// The whole base copied into doc, then the patch put into the copy: objects
// merge, every other patch value replaces.
yyjson_mut_val *baseline_merge(yyjson_mut_doc *doc, yyjson_mut_val *base, const char *patch_text) {
    yyjson_doc *patch = yyjson_read(patch_text, strlen(patch_text), 0);
    yyjson_val *proot = yyjson_doc_get_root(patch);
    yyjson_mut_val *result;
    if (!yyjson_mut_is_obj(base) || !yyjson_is_obj(proot)) {
        result = yyjson_val_mut_copy(doc, proot);
    } else {
        result = yyjson_mut_val_mut_copy(doc, base);
        std::vector<std::pair<yyjson_mut_val *, yyjson_val *>> stack{{result, proot}};
        while (!stack.empty()) {
            auto [dst, src] = stack.back();
            stack.pop_back();
            size_t i, max;
            yyjson_val *k, *v;
            yyjson_obj_foreach(src, i, max, k, v) {
                yyjson_mut_val *have = yyjson_mut_obj_getn(dst, yyjson_get_str(k), yyjson_get_len(k));
                if (yyjson_mut_is_obj(have) && yyjson_is_obj(v))
                    stack.emplace_back(have, v);
                else
                    yyjson_mut_obj_put(dst, yyjson_mut_strncpy(doc, yyjson_get_str(k), yyjson_get_len(k)),
                                       yyjson_val_mut_copy(doc, v));
            }
        }
    }
    yyjson_doc_free(patch);
    return result;
}

// ---- CSV out -------------------------------------------------------------------------

constexpr size_t MAX_COLS = 256;
constexpr size_t COL_NAME_MAX = 255;

void csv_quoted(std::string &out, const char *s, size_t n) {
    out += '"';
    for (size_t i = 0; i < n; ++i) {
        if (s[i] == '"') out += '"';
        out += s[i];
    }
    out += '"';
}

void csv_cell(std::string &out, yyjson_mut_val *v) {
    char num[64];
    switch (yyjson_mut_get_type(v)) {
        case YYJSON_TYPE_STR: {
            const char *s = yyjson_mut_get_str(v);
            size_t n = strlen(s);
            if (!n) return;
            if (strpbrk(s, ",\"\n\r") || s[0] == ' ' || s[n - 1] == ' ')
                csv_quoted(out, s, n);
            else
                out.append(s, n);
            return;
        }
        case YYJSON_TYPE_NULL: return;
        case YYJSON_TYPE_BOOL: out += yyjson_mut_get_bool(v) ? "true" : "false"; return;
        case YYJSON_TYPE_NUM:
            if (yyjson_mut_is_real(v))
                snprintf(num, sizeof num, "%.17g", yyjson_mut_get_real(v));
            else if (yyjson_mut_is_sint(v))
                snprintf(num, sizeof num, "%lld", static_cast<long long>(yyjson_mut_get_sint(v)));
            else
                snprintf(num, sizeof num, "%llu", static_cast<unsigned long long>(yyjson_mut_get_uint(v)));
            out += num;
            return;
        default: {
            size_t len = 0;
            char *text = yyjson_mut_val_write(v, 0, &len);
            if (text) csv_quoted(out, text, len);
            free(text);
        }
    }
}

void baseline_to_csv(yyjson_mut_val *arr, std::string &out) {
    out.clear();
    std::vector<std::string> cols;
    size_t i, max, j, jmax;
    yyjson_mut_val *e, *k, *v;
    yyjson_mut_arr_foreach(arr, i, max, e) {
        if (cols.size() == MAX_COLS) break;
        if (!yyjson_mut_is_obj(e)) continue;
        yyjson_mut_obj_foreach(e, j, jmax, k, v) {
            if (cols.size() == MAX_COLS) break;
            const char *key = yyjson_mut_get_str(k);
            bool known = false;
            for (const std::string &c : cols)
                if (strcmp(c.c_str(), key) == 0) {
                    known = true;
                    break;
                }
            if (!known) cols.emplace_back(key, strnlen(key, COL_NAME_MAX));
        }
    }
    for (size_t c = 0; c < cols.size(); ++c) {
        if (c) out += ',';
        if (cols[c].find_first_of(",\"") != std::string::npos)
            csv_quoted(out, cols[c].data(), cols[c].size());
        else
            out += cols[c];
    }
    if (!cols.empty()) out += '\n';
    yyjson_mut_arr_foreach(arr, i, max, e) {
        for (size_t c = 0; c < cols.size(); ++c) {
            if (c) out += ',';
            yyjson_mut_val *cell =
                yyjson_mut_is_obj(e) ? yyjson_mut_obj_getn(e, cols[c].data(), cols[c].size()) : nullptr;
            if (cell) csv_cell(out, cell);
        }
        out += '\n';
    }
}

// ---- CSV in ----------------------------------------------------------------------------

struct field {
    char text[COL_NAME_MAX + 1];
    size_t len;
    bool cut;
    void put(char c) {
        if (len < COL_NAME_MAX)
            text[len++] = c;
        else
            cut = true;
    }
    // Ends the text; a cut drops the partial bytes of a split last character.
    void finish() {
        if (cut) {
            size_t lead = len;
            while (lead > 0 && len - lead < 4 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) --lead;
            if (lead > 0) {
                unsigned char c = static_cast<unsigned char>(text[lead - 1]);
                size_t need = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
                if (len - (lead - 1) < need) len = lead - 1;
            }
        }
        text[len] = '\0';
    }
};

const char *after_terminator(const char *p) {
    if (*p == ',' || *p == '\n') return p + 1;
    if (*p == '\r') return p[1] == '\n' ? p + 2 : p + 1;
    return p;
}

const char *csv_field(const char *p, field &f) {
    f.len = 0;
    f.cut = false;
    if (*p == '"') {
        for (++p;; ++p) {
            if (!*p) {
                f.finish();
                return p;
            }
            if (*p == '"') {
                if (p[1] != '"') break;
                ++p;
            }
            f.put(*p);
        }
        ++p;  // the closing quote
        if (!*p || *p == ',' || *p == '\n' || *p == '\r') {
            f.finish();
            return after_terminator(p);
        }
    }
    while (*p && *p != ',' && *p != '\n' && *p != '\r') f.put(*p++);
    f.finish();
    return after_terminator(p);
}

yyjson_mut_val *csv_value(yyjson_mut_doc *doc, const field &f) {
    if (f.len == 0 || strcmp(f.text, "null") == 0) return yyjson_mut_null(doc);
    if (strcmp(f.text, "true") == 0) return yyjson_mut_true(doc);
    if (strcmp(f.text, "false") == 0) return yyjson_mut_false(doc);
    char *end;
    long long i = strtoll(f.text, &end, 10);
    if (*end == '\0') return yyjson_mut_sint(doc, i);
    double d = strtod(f.text, &end);
    if (*end == '\0' && std::isfinite(d)) return yyjson_mut_real(doc, d);  // the writer takes no NaN
    return yyjson_mut_strncpy(doc, f.text, f.len);
}

yyjson_mut_doc *baseline_from_csv(const char *csv) {
    if (strncmp(csv, "\xEF\xBB\xBF", 3) == 0) csv += 3;
    std::vector<std::string> names;
    field f;
    const char *p = csv;
    while (names.size() < MAX_COLS) {
        p = csv_field(p, f);
        if (f.len == 0 && !*p) break;
        names.emplace_back(f.text, f.len);
        if (!*p || p[-1] == '\n' || p[-1] == '\r') break;
    }
    if (names.empty()) return nullptr;
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    yyjson_mut_val *root = yyjson_mut_arr(doc);
    yyjson_mut_doc_set_root(doc, root);
    std::vector<const char *> keys;  // one copy of each name serves every record
    for (const std::string &name : names)
        keys.push_back(yyjson_mut_get_str(yyjson_mut_strncpy(doc, name.data(), name.size())));
    p = csv;
    for (size_t c = 0; c < names.size(); ++c) p = csv_field(p, f);
    size_t records = 0;
    while (*p) {
        while (*p == '\n' || *p == '\r') ++p;
        if (!*p) break;
        yyjson_mut_val *rec = yyjson_mut_obj(doc);
        for (size_t c = 0; c < names.size(); ++c) {
            p = csv_field(p, f);
            yyjson_mut_obj_add(rec, yyjson_mut_strn(doc, keys[c], names[c].size()), csv_value(doc, f));
        }
        yyjson_mut_arr_append(root, rec);
        ++records;
    }
    if (!records) {
        yyjson_mut_doc_free(doc);
        return nullptr;
    }
    return doc;
}

// ---- per-document inputs ---------------------------------------------------------------

const char *csv_path(const doc &d) {
    if (d.name == "twitter") return "$.statuses";
    if (d.name == "citm") return "$.performances";
    if (d.name == "canada") return "$.features";
    if (d.name == "large") return "$.items";
    if (d.name == "rows") return "$";
    return nullptr;
}

// The CSV text of each document's array, made once by the baseline writer.
const std::string &csv_text(const doc &d) {
    static std::map<const doc *, std::string> made;
    auto it = made.find(&d);
    if (it != made.end()) return it->second;
    std::string &out = made[&d];
    baseline_to_csv(nav(yyjson_mut_doc_get_root(baseline_doc(d)), split_path(csv_path(d))), out);
    return out;
}

std::string write_doc(yyjson_mut_doc *doc) {
    size_t len = 0;
    char *text = doc ? yyjson_mut_write(doc, 0, &len) : nullptr;
    std::string out = text ? std::string(text, len) : std::string();
    free(text);
    return out;
}

void register_diff_merge(doc &d) {
    add("diff", d, "engine", [&d](benchmark::State &st) {
        std::string other = diff_other(d);
        if (!engine_load(st, d)) return;
        if (!engine_ok(st, json_diff(other.c_str()) == 0, "json_diff")) return;
        yyjson_doc *b = yyjson_read(other.data(), other.size(), 0);
        diff_rows rows;
        baseline_diff(yyjson_mut_doc_get_root(baseline_doc(d)), yyjson_doc_get_root(b), rows);
        yyjson_doc_free(b);
        check_same(st, engine_diff_rows(), rows.dump());
        for (auto _ : st)
            if (!engine_ok(st, json_diff(other.c_str()) == 0, "json_diff")) break;
    });
    add("diff", d, "yyjson", [&d](benchmark::State &st) {
        std::string other = diff_other(d);
        yyjson_mut_val *root = yyjson_mut_doc_get_root(baseline_doc(d));
        diff_rows rows;
        for (auto _ : st) {
            yyjson_doc *b = yyjson_read(other.data(), other.size(), 0);
            baseline_diff(root, yyjson_doc_get_root(b), rows);
            yyjson_doc_free(b);
        }
    });

    add("merge", d, "engine", [&d](benchmark::State &st) {
        if (!engine_load(st, d)) return;
        if (!engine_ok(st, json_merge(merge_patch) == 0, "json_merge")) return;
        engine_forget();
        yyjson_mut_doc *expect = yyjson_mut_doc_new(nullptr);
        yyjson_mut_doc_set_root(expect, baseline_merge(expect, yyjson_mut_doc_get_root(baseline_doc(d)), merge_patch));
        check_same(st, json_get("$"), write_doc(expect));
        yyjson_mut_doc_free(expect);
        for (auto _ : st) {
            st.PauseTiming();
            bool loaded = json_parse(d.json().c_str()) == 0;
            st.ResumeTiming();
            if (!engine_ok(st, loaded && json_merge(merge_patch) == 0, "json_merge")) break;
        }
    });
    add("merge", d, "yyjson", [&d](benchmark::State &st) {
        yyjson_mut_val *base = yyjson_mut_doc_get_root(baseline_doc(d));
        for (auto _ : st) {
            yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
            yyjson_mut_doc_set_root(doc, baseline_merge(doc, base, merge_patch));
            st.PauseTiming();
            yyjson_mut_doc_free(doc);
            st.ResumeTiming();
        }
    });
}

void register_csv(doc &d) {
    const char *path = csv_path(d);
    add("csv-out", d, "engine", [&d, path](benchmark::State &st) {
        if (!engine_load(st, d)) return;
        const char *text = json_to_csv(path);
        if (!engine_ok(st, text[0] != '\0', "json_to_csv")) return;
        check_same(st, text, csv_text(d));
        for (auto _ : st) benchmark::DoNotOptimize(json_to_csv(path));
    });
    add("csv-out", d, "yyjson", [&d, path](benchmark::State &st) {
        yyjson_mut_val *arr = nav(yyjson_mut_doc_get_root(baseline_doc(d)), split_path(path));
        std::string out;
        for (auto _ : st) {
            baseline_to_csv(arr, out);
            benchmark::DoNotOptimize(out.data());
        }
    });

    add("csv-in", d, "engine", [&d](benchmark::State &st) {
        const std::string &csv = csv_text(d);
        engine_forget();
        if (!engine_ok(st, json_from_csv(csv.c_str()) == 0, "json_from_csv")) return;
        yyjson_mut_doc *expect = baseline_from_csv(csv.c_str());
        check_same(st, json_get("$"), write_doc(expect));
        yyjson_mut_doc_free(expect);
        for (auto _ : st)
            if (!engine_ok(st, json_from_csv(csv.c_str()) == 0, "json_from_csv")) break;
        st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * csv.size()));
    });
    add("csv-in", d, "yyjson", [&d](benchmark::State &st) {
        const std::string &csv = csv_text(d);
        for (auto _ : st) yyjson_mut_doc_free(baseline_from_csv(csv.c_str()));
        st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * csv.size()));
    });
}

// One-member merges into record documents of three sizes. The engine merges
// in place, so from the second merge on the cost should not depend on the
// document's size; the baseline puts the same member into its own copy.
void register_merge_one() {
    static doc sizes[3];
    const struct {
        const char *name;
        long records;
    } made[] = {{"records-10kb", 175}, {"records-1mb", 18000}, {"records-10mb", 180000}};
    for (size_t i = 0; i < 3; ++i) {
        sizes[i].name = made[i].name;
        sizes[i].large = made[i].records > 1000;
        sizes[i].make = [n = made[i].records] { return gen_records(n); };
    }
    for (doc &d : sizes) {
        add("merge-one", d, "engine", [&d](benchmark::State &st) {
            if (!engine_load(st, d)) return;
            char patch[64];
            long n = 0;
            for (auto _ : st) {
                snprintf(patch, sizeof patch, "{\"meta\":{\"v\":%ld}}", ++n);
                if (!engine_ok(st, json_merge(patch) == 0, "json_merge")) break;
            }
            engine_forget();
        });
        add("merge-one", d, "yyjson", [&d](benchmark::State &st) {
            yyjson_doc *imut = yyjson_read(d.json().data(), d.json().size(), 0);
            yyjson_mut_doc *doc = yyjson_doc_mut_copy(imut, nullptr);
            yyjson_doc_free(imut);
            char patch[64];
            long n = 0;
            for (auto _ : st) {
                int len = snprintf(patch, sizeof patch, "{\"meta\":{\"v\":%ld}}", ++n);
                yyjson_doc *p = yyjson_read(patch, static_cast<size_t>(len), 0);
                yyjson_mut_val *meta = yyjson_mut_obj_get(yyjson_mut_doc_get_root(doc), "meta");
                yyjson_val *v = yyjson_obj_get(yyjson_obj_get(yyjson_doc_get_root(p), "meta"), "v");
                yyjson_mut_obj_put(meta, yyjson_mut_strcpy(doc, "v"), yyjson_val_mut_copy(doc, v));
                yyjson_doc_free(p);
            }
            yyjson_mut_doc_free(doc);
        });
    }
}

}  // namespace

void register_sustained() { register_merge_one(); }

void register_convert(doc &d) {
    if (d.name != "rows") register_diff_merge(d);
    register_csv(d);
}

}  // namespace jebench
