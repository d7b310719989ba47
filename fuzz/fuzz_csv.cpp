// CSV: a CSV text and a path (split at the first NUL byte) through
// json_from_csv, json_to_csv and json_from_csv again. A failed import keeps
// the document; an import makes an array of records that all carry the
// same columns and that still writes; exports are UTF-8 and import again
// without harm.
#include "fuzz_common.h"

namespace je_fuzz_csv {

// The member keys of every record, which must be the same list for all.
inline void check_records(const std::string &doc) {
    yyjson_doc *d = je_fuzz_read(doc);
    JE_CHECK(d != nullptr, "imported document does not read");
    yyjson_val *root = yyjson_doc_get_root(d);
    JE_CHECK(yyjson_is_arr(root) && yyjson_arr_size(root) > 0, "import is not a non-empty array");
    std::vector<std::string> first;
    for (size_t i = 0; i < yyjson_arr_size(root); ++i) {
        yyjson_val *rec = yyjson_arr_get(root, i);
        JE_CHECK(yyjson_is_obj(rec), "record " + std::to_string(i) + " is not an object");
        std::vector<std::string> keys;
        yyjson_val *k;
        yyjson_obj_iter it = yyjson_obj_iter_with(rec);
        while ((k = yyjson_obj_iter_next(&it))) {
            keys.emplace_back(yyjson_get_str(k), yyjson_get_len(k));
            yyjson_val *v = yyjson_obj_iter_get_val(k);
            JE_CHECK(yyjson_is_null(v) || yyjson_is_bool(v) || yyjson_is_num(v) || yyjson_is_str(v),
                     "a cell became a container");
        }
        if (i == 0)
            first = keys;
        else
            JE_CHECK(keys == first, "record " + std::to_string(i) + " has other columns than record 0");
    }
    JE_CHECK(!first.empty(), "records without columns");
    yyjson_doc_free(d);
}

inline void run(const uint8_t *data, size_t size) {
    std::vector<std::string> parts = je_fuzz_split(data, size, 2);
    const std::string &csv = parts[0], &path = parts[1];
    const std::string doc = je_fuzz_load_doc("");

    int rc = json_from_csv(csv.c_str());
    std::string err = je_fuzz_str(json_last_error());
    je_fuzz_check_status(rc, "json_from_csv");
    std::string imported = je_fuzz_doc_text("json_from_csv");
    if (rc != 0) {
        JE_CHECK(imported == doc, "json_from_csv failed with " + err + " and changed the document");
    } else {
        JE_CHECK(je_fuzz_str(json_root_type()) == "array", "import root is " + je_fuzz_str(json_root_type()));
        check_records(imported);
        std::string out = je_fuzz_str(json_to_csv("$"));
        JE_CHECK(!out.empty(), "records do not export: " + je_fuzz_str(json_last_error()));
        JE_CHECK(je_fuzz_utf8(out), "export of imported records is not UTF-8");
        JE_CHECK(out.back() == '\n', "export does not end its last line");
        JE_CHECK(je_fuzz_doc_text("json_to_csv") == imported, "json_to_csv changed the document");
    }

    // An export at the input's own path, then that text imported again.
    std::string out = je_fuzz_str(json_to_csv(path.empty() ? nullptr : path.c_str()));
    std::string out_err = je_fuzz_str(json_last_error());
    JE_CHECK(je_fuzz_doc_text("json_to_csv") == imported, "json_to_csv changed the document");
    if (out.empty()) return;
    JE_CHECK(out_err.empty(), "json_to_csv returned text and the message " + out_err);
    JE_CHECK(je_fuzz_utf8(out), "export is not UTF-8");
    rc = json_from_csv(out.c_str());
    je_fuzz_check_status(rc, "json_from_csv of an export");
    std::string again = je_fuzz_doc_text("json_from_csv of an export");
    if (rc == 0)
        check_records(again);
    else
        JE_CHECK(again == imported, "a failed import of an export changed the document");
}

}  // namespace je_fuzz_csv

#ifndef JE_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    je_fuzz_on_small_stack([&] { je_fuzz_csv::run(data, size); });
    return 0;
}
#endif
