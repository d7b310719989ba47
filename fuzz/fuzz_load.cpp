// Loading and validation: the same bytes through json_parse, through
// json_parse_file (from an in-memory file) and through json_validate.
// Loading and validation must agree on whether the text is readable JSON,
// with the same reader message, line and column; a failed load keeps the
// previous document; the report is six well-formed rows.
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "fuzz_common.h"

namespace je_fuzz_load {

constexpr const char *kPrevious = "{\"previous\":[1,\"two\",{\"3\":null}]}";
constexpr const char *kRules[6] = {"syntax", "root", "trailing", "duplicate-keys", "number-range", "depth"};

struct row {
    std::string rule, detail;
    bool ok = false;
    uint64_t line = 0, col = 0;
};

// The six rows of the report; the report must read and have that shape.
inline std::vector<row> report_rows() {
    std::string report = je_fuzz_str(json_validate_report_json());
    JE_CHECK(je_fuzz_utf8(report), "report is not UTF-8");
    yyjson_doc *d = je_fuzz_read(report);
    JE_CHECK(d != nullptr, "report does not read: " + report.substr(0, 300));
    std::vector<row> rows;
    yyjson_val *root = yyjson_doc_get_root(d);
    JE_CHECK(yyjson_is_arr(root) && yyjson_arr_size(root) == 6, "report is not six rows: " + report.substr(0, 300));
    for (size_t i = 0; i < yyjson_arr_size(root); ++i) {
        yyjson_val *o = yyjson_arr_get(root, i);
        yyjson_val *rule = yyjson_obj_get(o, "rule"), *ok = yyjson_obj_get(o, "ok"),
                   *detail = yyjson_obj_get(o, "detail");
        yyjson_val *line = yyjson_obj_get(o, "line"), *col = yyjson_obj_get(o, "col");
        JE_CHECK(yyjson_is_obj(o) && yyjson_obj_size(o) == 5 && yyjson_is_str(rule) && yyjson_is_bool(ok) &&
                     yyjson_is_str(detail) && yyjson_is_uint(line) && yyjson_is_uint(col),
                 "malformed report row: " + report.substr(0, 300));
        row r;
        r.rule = yyjson_get_str(rule);
        r.ok = yyjson_get_bool(ok);
        r.detail = yyjson_get_str(detail);
        r.line = yyjson_get_uint(line);
        r.col = yyjson_get_uint(col);
        JE_CHECK(r.rule == kRules[i], "row " + std::to_string(i) + " is " + r.rule);
        JE_CHECK(r.ok == r.detail.empty(), "row " + r.rule + ": ok and detail disagree");
        rows.push_back(r);
    }
    yyjson_doc_free(d);
    return rows;
}

// Loads the bytes through a file that lives in memory, as json_parse_file
// reads it; -2 when no such file can be made here (memfd_create is Linux's).
inline int load_as_file(const uint8_t *data, size_t size) {
#if !defined(__linux__)
    (void)data;
    (void)size;
    return -2;
#else
    int fd = memfd_create("je_fuzz_load", 0);
    if (fd < 0) return -2;
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            return -2;
        }
        done += static_cast<size_t>(n);
    }
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    int rc = json_parse_file(path.c_str());
    close(fd);
    return rc;
#endif
}

inline void run(const uint8_t *data, size_t size) {
    std::string text = je_fuzz_split(data, size, 1)[0];

    JE_CHECK(json_parse(kPrevious) == 0, "the previous document does not load");
    const std::string previous = je_fuzz_doc_text("previous");

    int rc = json_parse(text.c_str());
    const std::string err = je_fuzz_str(json_last_error());
    je_fuzz_check_status(rc, "json_parse");
    std::string loaded;
    if (rc == 0) {
        loaded = je_fuzz_doc_text("json_parse");
        JE_CHECK(loaded == je_fuzz_minify(text), "loaded document differs from the text: " + loaded.substr(0, 200));
        JE_CHECK(!je_fuzz_str(json_root_type()).empty(), "no root type after a load");
    } else {
        JE_CHECK(je_fuzz_starts(err, "parse error: "), "unexpected load message: " + err);
        JE_CHECK(je_fuzz_doc_text("failed json_parse") == previous, "a failed load changed the document");
        JE_CHECK(je_fuzz_str(json_root_type()) == "object", "a failed load changed the root type");
    }

    // The same bytes as a file: the file's text ends at its first NUL, so
    // the outcome and the message are those of json_parse.
    JE_CHECK(json_parse(kPrevious) == 0, "the previous document does not load");
    int frc = load_as_file(data, size);
    if (frc != -2) {
        std::string ferr = je_fuzz_str(json_last_error());
        JE_CHECK(frc == rc, "json_parse_file gave " + std::to_string(frc) + " where json_parse gave " +
                                std::to_string(rc) + ": " + ferr);
        JE_CHECK(ferr == err, "json_parse_file message " + ferr + " where json_parse said " + err);
        JE_CHECK(je_fuzz_doc_text("json_parse_file") == (rc == 0 ? loaded : previous),
                 "json_parse_file loaded another document");
    }

    // Validation: the same readability, reader message and position; the
    // loaded document is not touched.
    const std::string before = je_fuzz_doc_text("before validation");
    int vrc = json_validate(text.c_str());
    const std::string verr = je_fuzz_str(json_last_error());
    je_fuzz_check_status(vrc, "json_validate");
    JE_CHECK(je_fuzz_doc_text("json_validate") == before, "validation changed the document");
    std::vector<row> rows = report_rows();
    JE_CHECK(rows[0].ok == (rc == 0), "syntax row says " + std::string(rows[0].ok ? "readable" : "unreadable") +
                                          " where json_parse said " + err);
    if (rc != 0) {
        JE_CHECK(vrc == -1, "an unreadable text validated");
        std::string tail = je_fuzz_starts(err, "parse error: ") ? err.substr(strlen("parse error: ")) : err;
        JE_CHECK(verr == "invalid JSON: " + tail, "validation message " + verr + " beside load message " + err);
        JE_CHECK(je_fuzz_starts(tail, rows[0].detail.c_str()), "syntax detail " + rows[0].detail + " beside " + err);
        for (size_t i = 1; i < rows.size(); ++i)
            JE_CHECK(rows[i].ok && rows[i].line == 0 && rows[i].col == 0,
                     "row " + rows[i].rule + " of an unreadable text");
        return;
    }
    yyjson_doc *d = je_fuzz_read(text);
    JE_CHECK(d != nullptr, "the engine read a text that the reader refuses");
    je_fuzz_shape_t shape = je_fuzz_shape(yyjson_doc_get_root(d));
    yyjson_doc_free(d);
    const row &dup = rows[3], &depth = rows[5];
    if (vrc == 0) {
        for (const row &r : rows) JE_CHECK(r.ok, "row " + r.rule + " fails in a valid text");
    } else if (je_fuzz_starts(verr, "duplicate key: ")) {
        JE_CHECK(!dup.ok, "duplicate key reported, row passes");
    } else {
        JE_CHECK(verr == "nesting exceeds 512 levels", "unexpected validation message: " + verr);
        JE_CHECK(dup.ok && !depth.ok, "depth message beside rows dup " + std::to_string(dup.ok));
    }
    // Keys compare as NUL-terminated texts in validation, so it finds at
    // least the duplicates this check finds (in objects it examines).
    if (shape.dup && shape.max_members <= 511) JE_CHECK(!dup.ok, "a repeated key passed validation");
    if (dup.ok)
        JE_CHECK(depth.ok == (shape.depth <= 512), "depth row disagrees with depth " + std::to_string(shape.depth));
}

}  // namespace je_fuzz_load

#ifndef JE_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    je_fuzz_on_small_stack([&] { je_fuzz_load::run(data, size); });
    return 0;
}
#endif
