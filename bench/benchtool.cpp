// Helper program of bench/run.sh and bench/compare.sh.
//
//   jsonengine_benchtool gen DIR           writes large.json, rows.json, rows.csv
//   jsonengine_benchtool rss-load FILE     peak memory of json_parse_file
//   jsonengine_benchtool rss-query FILE Q  peak memory of loading, then json_query
//   jsonengine_benchtool rss-yyjson FILE   peak memory of reading the file and
//                                          yyjson_read + yyjson_doc_mut_copy
//
// The rss commands print "peak_rss_kib before=N after=N": the maximum
// resident set before and after the measured step (the query's "before" is
// the peak of loading).
#include <sys/resource.h>
#include <yyjson.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "gen.h"
#include "quendral/jsonengine.h"

static long peak_kib() {
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;  // KiB on Linux
}

static bool write_file(const std::string &path, const std::string &text) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

static int usage() {
    fprintf(stderr, "usage: jsonengine_benchtool gen DIR | rss-load FILE | rss-query FILE QUERY | rss-yyjson FILE\n");
    return 2;
}

int main(int argc, char **argv) {
    if (argc < 3) return usage();
    std::string cmd = argv[1];
    if (cmd == "gen") {
        std::string dir = argv[2];
        bool ok = write_file(dir + "/large.json", jebench::gen_large()) &&
                  write_file(dir + "/rows.json", jebench::gen_rows()) &&
                  write_file(dir + "/rows.csv", jebench::gen_rows_csv());
        if (!ok) fprintf(stderr, "benchtool: cannot write into %s\n", dir.c_str());
        return ok ? 0 : 1;
    }
    long before = peak_kib();
    if (cmd == "rss-load" || cmd == "rss-query") {
        if (cmd == "rss-query" && argc < 4) return usage();
        if (json_parse_file(argv[2]) != 0) {
            fprintf(stderr, "benchtool: %s\n", json_last_error());
            return 1;
        }
        if (cmd == "rss-query") {
            before = peak_kib();
            if (json_query(argv[3]) != 0) {
                fprintf(stderr, "benchtool: %s\n", json_last_error());
                return 1;
            }
        }
    } else if (cmd == "rss-yyjson") {
        yyjson_read_err err;
        yyjson_doc *doc = yyjson_read_file(argv[2], 0, nullptr, &err);
        yyjson_mut_doc *copy = doc ? yyjson_doc_mut_copy(doc, nullptr) : nullptr;
        if (!copy) {
            fprintf(stderr, "benchtool: %s\n", doc ? "out of memory" : err.msg);
            return 1;
        }
        yyjson_doc_free(doc);
        yyjson_mut_doc_free(copy);
    } else {
        return usage();
    }
    printf("peak_rss_kib before=%ld after=%ld\n", before, peak_kib());
    return 0;
}
