// Query: a document and a query text (split at the first NUL byte). The
// query never changes the document; a failed query leaves an empty table;
// every result has a "$" path and a value text that reads as compact JSON;
// json_query_raw reads back as an array of exactly those values.
#include "fuzz_common.h"

namespace je_fuzz_query {

// Value texts longer than this are cut by json_query_field.
constexpr size_t kFieldLimit = 12287;

inline void check_results(const char *query) {
    int n = json_query_count();
    JE_CHECK(n >= 0 && n <= 4000, "result count " + std::to_string(n));
    JE_CHECK(je_fuzz_str(json_query_field(n, "value")).empty(), "a row past the end has a value");
    JE_CHECK(je_fuzz_str(json_query_field(-1, "path")).empty(), "row -1 has a path");
    std::vector<std::string> values;
    for (int i = 0; i < n; ++i) {
        std::string path = je_fuzz_str(json_query_field(i, "path"));
        std::string value = je_fuzz_str(json_query_field(i, "value"));
        JE_CHECK(je_fuzz_starts(path, "$"), std::string(query) + ": result path " + path.substr(0, 100));
        JE_CHECK(!value.empty(), std::string(query) + ": empty result value");
        if (value.size() < kFieldLimit) {
            JE_CHECK(je_fuzz_utf8(value), std::string(query) + ": result value is not UTF-8");
            JE_CHECK(je_fuzz_minify(value) == value, std::string(query) + ": result value " + value.substr(0, 200));
        }
        values.push_back(value);
    }
    std::string raw = je_fuzz_str(json_query_raw());
    JE_CHECK(je_fuzz_utf8(raw), std::string(query) + ": raw results are not UTF-8");
    yyjson_doc *d = je_fuzz_read(raw);
    JE_CHECK(d != nullptr, std::string(query) + ": raw results do not read: " + raw.substr(0, 200));
    yyjson_val *arr = yyjson_doc_get_root(d);
    JE_CHECK(yyjson_is_arr(arr) && yyjson_arr_size(arr) == static_cast<size_t>(n),
             std::string(query) + ": raw results are not an array of " + std::to_string(n));
    for (int i = 0; i < n && i < static_cast<int>(yyjson_arr_size(arr)); ++i) {
        if (values[i].size() >= kFieldLimit) continue;
        char *one = yyjson_val_write(yyjson_arr_get(arr, static_cast<size_t>(i)), 0, nullptr);
        JE_CHECK(one && values[i] == one, std::string(query) + ": raw element " + std::to_string(i) + " differs");
        free(one);
    }
    yyjson_doc_free(d);
}

inline void run(const uint8_t *data, size_t size) {
    std::vector<std::string> parts = je_fuzz_split(data, size, 2);
    const std::string &query = parts[1];
    const std::string doc = je_fuzz_load_doc(parts[0]);

    int rc = json_query(query.c_str());
    std::string err = je_fuzz_str(json_last_error());
    je_fuzz_check_status(rc, "json_query");
    JE_CHECK(je_fuzz_doc_text("json_query") == doc, "json_query changed the document");
    if (rc != 0) {
        JE_CHECK(json_query_count() == 0, "a failed query left results");
        JE_CHECK(je_fuzz_str(json_query_raw()) == "[]", "a failed query left raw results");
    } else {
        check_results(query.c_str());
    }

    // The root query yields the document itself.
    JE_CHECK(json_query("$") == 0, "the root query failed: " + je_fuzz_str(json_last_error()));
    JE_CHECK(json_query_count() == 1, "the root query gave " + std::to_string(json_query_count()) + " results");
    if (doc.size() < kFieldLimit) JE_CHECK(je_fuzz_str(json_query_field(0, "value")) == doc, "root query value");
    JE_CHECK(je_fuzz_str(json_query_field(0, "path")) == "$", "root query path");
}

}  // namespace je_fuzz_query

#ifndef JE_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    je_fuzz_on_small_stack([&] { je_fuzz_query::run(data, size); });
    return 0;
}
#endif
