// Merge and diff: a document and a second JSON text (split at the first NUL
// byte). The diff never changes the document, its rows are well formed,
// and it finds no difference exactly when the two are equal (for texts
// without repeated keys, where positional matching is exact); a document
// shows no difference from its own text. A merge fails only on an
// unreadable patch and then changes nothing; a patch that is not an object
// (or a document that is not one) replaces the document; merging the same
// patch twice changes nothing more.
#include "fuzz_common.h"

namespace je_fuzz_merge_diff {

// Value texts longer than this are cut in the diff rows.
constexpr size_t kCellLimit = 4095;

inline void check_rows(const std::string &other) {
    int n = json_diff_count();
    JE_CHECK(n >= 0 && n <= 10000, "row count " + std::to_string(n));
    JE_CHECK(je_fuzz_str(json_diff_field(n, "type")).empty(), "a row past the end has a type");
    for (int i = 0; i < n; ++i) {
        std::string path = je_fuzz_str(json_diff_field(i, "path"));
        std::string type = je_fuzz_str(json_diff_field(i, "type"));
        std::string a = je_fuzz_str(json_diff_field(i, "a"));
        std::string b = je_fuzz_str(json_diff_field(i, "b"));
        std::string row = "row " + std::to_string(i) + " against " + other.substr(0, 100);
        JE_CHECK(je_fuzz_starts(path, "$"), row + ": path " + path.substr(0, 100));
        JE_CHECK(type == "added" || type == "removed" || type == "changed", row + ": type " + type);
        JE_CHECK(a.empty() == (type == "added"), row + ": side a " + a.substr(0, 100));
        JE_CHECK(b.empty() == (type == "removed"), row + ": side b " + b.substr(0, 100));
        for (const std::string *side : {&a, &b}) {
            if (side->empty() || side->size() >= kCellLimit) continue;
            JE_CHECK(je_fuzz_utf8(*side), row + ": a value text is not UTF-8");
            JE_CHECK(je_fuzz_minify(*side) == *side, row + ": value text " + side->substr(0, 100));
        }
    }
}

inline bool texts_equal(const std::string &x, const std::string &y) {
    yyjson_doc *dx = je_fuzz_read(x), *dy = je_fuzz_read(y);
    bool eq = dx && dy && yyjson_equals(yyjson_doc_get_root(dx), yyjson_doc_get_root(dy));
    yyjson_doc_free(dx);
    yyjson_doc_free(dy);
    return eq;
}

inline bool is_object_text(const std::string &text) { return !text.empty() && text[0] == '{'; }

inline void run(const uint8_t *data, size_t size) {
    std::vector<std::string> parts = je_fuzz_split(data, size, 2);
    const std::string &other = parts[1];
    const std::string doc = je_fuzz_load_doc(parts[0]);
    const std::string wanted = je_fuzz_minify(other);
    const bool exact = !je_fuzz_text_has_dup_keys(doc) && !je_fuzz_text_has_dup_keys(wanted);

    int rc = json_diff(other.c_str());
    std::string err = je_fuzz_str(json_last_error());
    je_fuzz_check_status(rc, "json_diff");
    JE_CHECK(je_fuzz_doc_text("json_diff") == doc, "json_diff changed the document");
    JE_CHECK((rc == 0) == !wanted.empty(), "json_diff gave " + std::to_string(rc) + " for " + other.substr(0, 100));
    if (rc != 0) {
        JE_CHECK(je_fuzz_starts(err, "diff target: "), "json_diff message " + err);
        JE_CHECK(json_diff_count() == 0, "a failed diff left rows");
    } else {
        check_rows(other);
        if (exact)
            JE_CHECK((json_diff_count() == 0) == texts_equal(doc, wanted),
                     "diff found " + std::to_string(json_diff_count()) + " rows against " + other.substr(0, 100));
    }
    if (!je_fuzz_text_has_dup_keys(doc)) {
        JE_CHECK(json_diff(doc.c_str()) == 0 && json_diff_count() == 0, "the document differs from its own text");
    }

    rc = json_merge(other.c_str());
    err = je_fuzz_str(json_last_error());
    je_fuzz_check_status(rc, "json_merge");
    std::string merged = je_fuzz_doc_text("json_merge");
    JE_CHECK((rc == 0) == !wanted.empty(), "json_merge gave " + std::to_string(rc) + " for " + other.substr(0, 100));
    if (rc != 0) {
        JE_CHECK(je_fuzz_starts(err, "merge target: "), "json_merge message " + err);
        JE_CHECK(merged == doc, "a failed merge changed the document");
        return;
    }
    if (!is_object_text(doc) || !is_object_text(wanted)) {
        JE_CHECK(merged == wanted, "a non-object merge did not give the patch: " + merged.substr(0, 200));
    } else {
        // Every member of the patch is in the result.
        yyjson_doc *p = je_fuzz_read(wanted), *m = je_fuzz_read(merged);
        JE_CHECK(p && m, "merge texts do not read");
        yyjson_val *k;
        yyjson_obj_iter it = yyjson_obj_iter_with(yyjson_doc_get_root(p));
        while ((k = yyjson_obj_iter_next(&it)))
            JE_CHECK(yyjson_obj_getn(yyjson_doc_get_root(m), yyjson_get_str(k), yyjson_get_len(k)) != nullptr,
                     "merge lost the patch member " + std::string(yyjson_get_str(k)));
        yyjson_doc_free(p);
        yyjson_doc_free(m);
    }
    if (!je_fuzz_text_has_dup_keys(wanted)) {
        JE_CHECK(json_merge(other.c_str()) == 0, "a second merge failed: " + je_fuzz_str(json_last_error()));
        JE_CHECK(je_fuzz_doc_text("second json_merge") == merged, "merging the same patch twice changed more");
    }
}

}  // namespace je_fuzz_merge_diff

#ifndef JE_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    je_fuzz_on_small_stack([&] { je_fuzz_merge_diff::run(data, size); });
    return 0;
}
#endif
