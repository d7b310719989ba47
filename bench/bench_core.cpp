// Loading, reading by path, and putting then deleting a member by path.
#include <cstring>

#include "bench_common.h"

namespace jebench {

namespace {

struct core_case {
    const char *doc;
    const char *get_path;  // a small value deep inside
    const char *parent;    // an object that receives the member "bench_key"
};

const core_case cases[] = {
    {"twitter", "$.statuses[50].user.screen_name", "$.search_metadata"},
    {"citm", "$.performances[200].seatCategories[0].areas[3].areaId", "$.areaNames"},
    {"canada", "$.features[0].geometry.coordinates[400][5]", "$.features[0].properties"},
    {"large", "$.items[15].address.geo", "$.meta"},
    {"rows", "$[9].name", "$[9]"},
};

const char *const set_value = "{\"a\":[1,2,3],\"b\":\"x\"}";

const core_case *find_case(const doc &d) {
    for (const core_case &c : cases)
        if (d.name == c.doc) return &c;
    return nullptr;
}

// The compact text of the value at path in the baseline's copy.
std::string baseline_get(const doc &d, const std::vector<step> &steps) {
    std::string out;
    yyjson_mut_val *v = nav(yyjson_mut_doc_get_root(baseline_doc(d)), steps);
    if (v) append_val(out, v);
    return out;
}

void register_load(doc &d) {
    add("load", d, "engine", [&d](benchmark::State &st) {
        engine_forget();
        for (auto _ : st)
            if (!engine_ok(st, json_parse(d.json().c_str()) == 0, "json_parse")) break;
        st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * d.json().size()));
    });
    // The engine keeps the document yyjson read, so the baseline is the
    // immutable read alone.
    add("load", d, "yyjson", [&d](benchmark::State &st) {
        for (auto _ : st) {
            yyjson_doc *imut = yyjson_read(d.json().data(), d.json().size(), 0);
            benchmark::DoNotOptimize(imut);
            yyjson_doc_free(imut);
        }
        st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * d.json().size()));
    });
    // The first edit makes the mutable copy once: a load followed by an edit
    // that fails after the copy (a key the document does not have), beside
    // yyjson's read and mutable copy.
    add("load_first_edit", d, "engine", [&d](benchmark::State &st) {
        engine_forget();
        for (auto _ : st) {
            if (!engine_ok(st, json_parse(d.json().c_str()) == 0, "json_parse")) break;
            json_delete("$.bench_absent_key");
        }
        st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * d.json().size()));
    });
    add("load_first_edit", d, "yyjson", [&d](benchmark::State &st) {
        for (auto _ : st) {
            yyjson_doc *imut = yyjson_read(d.json().data(), d.json().size(), 0);
            yyjson_mut_doc *copy = yyjson_doc_mut_copy(imut, nullptr);
            benchmark::DoNotOptimize(copy);
            yyjson_doc_free(imut);
            yyjson_mut_doc_free(copy);
        }
        st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * d.json().size()));
    });
}

void register_get(doc &d, const std::string &family, const char *path) {
    add(family, d, "engine", [&d, path](benchmark::State &st) {
        if (!engine_load(st, d)) return;
        const char *text = json_get(path);
        if (!engine_ok(st, text[0] != '\0', "json_get")) return;
        check_same(st, text, baseline_get(d, split_path(path)));
        for (auto _ : st) benchmark::DoNotOptimize(json_get(path));
    });
    add(family, d, "yyjson", [&d, path](benchmark::State &st) {
        std::vector<step> steps = split_path(path);
        yyjson_mut_val *root = yyjson_mut_doc_get_root(baseline_doc(d));
        for (auto _ : st) {
            size_t len = 0;
            char *text = yyjson_mut_val_write(nav(root, steps), 0, &len);
            benchmark::DoNotOptimize(text);
            free(text);
        }
    });
}

void register_set_delete(doc &d, const char *parent) {
    std::string member = std::string(parent) + ".bench_key";
    add("set+delete", d, "engine", [&d, member](benchmark::State &st) {
        if (!engine_load(st, d)) return;
        for (auto _ : st) {
            if (!engine_ok(st, json_set(member.c_str(), set_value) == 0, "json_set")) break;
            if (!engine_ok(st, json_delete(member.c_str()) == 0, "json_delete")) break;
        }
    });
    add("set+delete", d, "yyjson", [&d, parent](benchmark::State &st) {
        yyjson_mut_doc *doc = baseline_doc(d);
        std::vector<step> steps = split_path(parent);
        size_t value_len = strlen(set_value);
        for (auto _ : st) {
            yyjson_doc *parsed = yyjson_read(set_value, value_len, 0);
            yyjson_mut_val *val = yyjson_val_mut_copy(doc, yyjson_doc_get_root(parsed));
            yyjson_doc_free(parsed);
            yyjson_mut_val *obj = nav(yyjson_mut_doc_get_root(doc), steps);
            yyjson_mut_obj_put(obj, yyjson_mut_strncpy(doc, "bench_key", 9), val);
            obj = nav(yyjson_mut_doc_get_root(doc), steps);
            benchmark::DoNotOptimize(yyjson_mut_obj_remove_keyn(obj, "bench_key", 9));
        }
    });
}

}  // namespace

void register_core(doc &d) {
    const core_case *c = find_case(d);
    register_load(d);
    if (!c) return;
    register_get(d, "get", c->get_path);
    register_get(d, "get-root", "$");
    register_set_delete(d, c->parent);
}

}  // namespace jebench
