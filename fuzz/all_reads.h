// Every read of the C interface run over the loaded document, its results,
// messages and table rows concatenated into one text, so that two states of
// one document (read in place, and after the first edit made it mutable)
// can be compared byte for byte. Shared by the tree differential test and
// the trees fuzz target.
#pragma once

#include <string>
#include <vector>

#include "quendral/jsonengine.h"

struct je_read_probes {
    std::vector<std::string> paths;     // json_get, json_extract, json_to_csv
    std::vector<std::string> queries;   // json_query
    std::vector<std::string> patterns;  // json_search in every mode
    std::vector<std::string> others;    // json_diff targets
};

// The probes every document is read with, plus the document-specific ones.
inline je_read_probes je_default_probes() {
    return {{"$", "$[0]", "$[1]", "$.a", "$.a.b", "$[0].a", "$.x[2]"},
            {"$", "$.*", "$[0]", "$.a", "$.* | length", "$[?.a]", "$.*.* | length", "$[?.a > 1] | map(.b)",
             "map(length)", "$.*[?. == \"x\"]"},
            {"a", "1", "e", "\"", "\\"},
            {"null", "[1,2,3]", "{\"a\":1,\"b\":[true,{}]}"}};
}

inline std::string je_read_text(const char *s) { return s ? std::string(s) : std::string("<null>"); }

// Appends a labelled result and the message it left.
inline void je_read_put(std::string &out, const std::string &label, const std::string &value) {
    out += label;
    out += '=';
    out += value;
    out += " | ";
    out += json_last_error();
    out += '\n';
}

inline std::string je_all_reads(const je_read_probes &p) {
    std::string out;
    // The root type is an accessor: it leaves the last message alone.
    out += std::string("root=") + json_root_type() + "\n";
    for (const char *mode : {"pretty", "minify", "sorted", "bad"}) je_read_put(out, mode, json_format(mode));
    je_read_put(out, "stats", json_stats_json());
    je_read_put(out, "flatten", json_flatten());
    for (const std::string &path : p.paths) {
        je_read_put(out, "get " + path, json_get(path.c_str()));
        je_read_put(out, "extract " + path, json_extract(path.c_str()));
        je_read_put(out, "csv " + path, json_to_csv(path.c_str()));
    }
    for (const std::string &q : p.queries) {
        int rc = json_query(q.c_str());
        je_read_put(out, "query " + q, std::to_string(rc) + " " + std::to_string(json_query_count()));
        for (int i = 0; i < json_query_count(); ++i) {
            out += json_query_field(i, "path");
            out += " => ";
            out += json_query_field(i, "value");
            out += '\n';
        }
        je_read_put(out, "raw", json_query_raw());
    }
    for (const std::string &pat : p.patterns) {
        for (const char *mode : {"both", "key", "value"}) {
            int rc = json_search(mode, pat.c_str());
            je_read_put(out, std::string("search ") + mode + " " + pat, std::to_string(rc));
            for (int i = 0; i < json_search_count(); ++i) {
                for (const char *field : {"path", "key", "value"}) {
                    out += json_search_field(i, field);
                    out += '\t';
                }
                out += '\n';
            }
        }
    }
    std::vector<std::string> others = p.others;
    others.push_back(je_read_text(json_format("minify")));  // the document itself: no rows
    for (const std::string &other : others) {
        int rc = json_diff(other.c_str());
        je_read_put(out, "diff " + other.substr(0, 64), std::to_string(rc));
        for (int i = 0; i < json_diff_count(); ++i) {
            for (const char *field : {"path", "type", "a", "b"}) {
                out += json_diff_field(i, field);
                out += '\t';
            }
            out += '\n';
        }
    }
    return out;
}

// Makes the loaded document mutable through the interface alone: an edit
// whose value text is refused makes the mutable copy first and then fails,
// leaving the document as it was.
inline bool je_force_mutable() { return json_set("$", "") == -1; }
