// Helper program of bench/run.sh and bench/compare.sh.
//
//   jsonengine_benchtool gen DIR           writes large.json, rows.json, rows.csv
//   jsonengine_benchtool rss-load FILE     memory of json_parse_file
//   jsonengine_benchtool rss-query FILE Q  memory of json_query after loading FILE
//   jsonengine_benchtool rss-edit FILE     memory of the first edit after
//                                          loading FILE (the one mutable copy)
//   jsonengine_benchtool rss-format FILE   memory of loading FILE and taking
//                                          json_format("minify")
//   jsonengine_benchtool rss-yyjson FILE   memory of reading FILE with yyjson
//   jsonengine_benchtool rss-yyjson-write FILE   the same and writing it minified
//   jsonengine_benchtool rss-yyjson-mut FILE     the same and a mutable copy
//   jsonengine_benchtool rss-edits N       memory after N rounds of editing a
//                                          2 KB document (10 sets of a 1 KB
//                                          value, a diff, a merge and three
//                                          failing calls per round)
//   jsonengine_benchtool merge-scale RECORDS [MERGES]
//                                          time and memory of one-member
//                                          merges {"meta":{"v":N}} into a
//                                          document of RECORDS records
//
// The rss commands print "rss_kib start=N peak=N end=N" for the measured
// step: the resident set when it starts, the highest resident set while it
// runs (the kernel's high-water mark is reset at the start), and the
// resident set when it has returned.
#include <sys/resource.h>
#include <yyjson.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gen.h"
#include "quendral/jsonengine.h"

// A "VmRSS:" or "VmHWM:" figure of /proc/self/status in KiB, or -1.
static long status_kib(const char *field) {
    FILE *f = fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    size_t n = strlen(field);
    while (fgets(line, sizeof line, f))
        if (strncmp(line, field, n) == 0) kib = atol(line + n);
    fclose(f);
    return kib;
}

// Starts a measured step: resets the high-water mark to the current
// resident set and returns that.
static long step_start() {
    if (FILE *f = fopen("/proc/self/clear_refs", "w")) {
        fputs("5", f);
        fclose(f);
    }
    return status_kib("VmRSS:");
}

static long peak_kib() {
    long hwm = status_kib("VmHWM:");
    if (hwm >= 0) return hwm;
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
    fprintf(stderr,
            "usage: jsonengine_benchtool gen DIR | rss-load FILE | rss-query FILE QUERY | rss-edit FILE | "
            "rss-format FILE | rss-yyjson FILE | rss-yyjson-write FILE | rss-yyjson-mut FILE |\n"
            "       rss-edits N | merge-scale RECORDS [MERGES]\n");
    return 2;
}

static bool engine_fail(const char *what) {
    fprintf(stderr, "benchtool: %s: %s\n", what, json_last_error());
    return false;
}

// Rounds of editing a small document: what the engine keeps should not grow
// with the number of rounds. Prints the resident set after loading and after
// the rounds, and the size of the document's text at the end.
static int rss_edits(long rounds) {
    std::string doc = "{\"meta\":{\"v\":0},\"items\":[";
    for (int i = 0; i < 40; ++i) doc += (i ? ",{\"id\":" : "{\"id\":") + std::to_string(i) + ",\"name\":\"item\"}";
    doc += "]}";
    const std::string value = "\"" + std::string(1000, 'x') + "\"";
    if (json_parse(doc.c_str()) != 0) return engine_fail("json_parse"), 1;
    long loaded = status_kib("VmRSS:");
    for (long r = 0; r < rounds; ++r) {
        for (int i = 0; i < 10; ++i)
            if (json_set(i % 2 ? "$.meta.big" : "$.items[3].big", value.c_str()) != 0)
                return engine_fail("json_set"), 1;
        if (json_diff("{\"meta\":{\"v\":1},\"items\":[1,2,3]}") != 0) return engine_fail("json_diff"), 1;
        std::string patch = "{\"meta\":{\"v\":" + std::to_string(r) + ",\"w\":[1,2,3]}}";
        if (json_merge(patch.c_str()) != 0) return engine_fail("json_merge"), 1;
        // Failing calls: a value that does not parse, a path that cannot be
        // followed after the value parsed, a patch that does not parse.
        json_set("$.meta.x", "{\"a\":");
        json_set("$.items.x", value.c_str());
        json_merge("{\"a\":[1,2");
    }
    size_t text = strlen(json_get("$"));
    printf("rounds=%ld rss_kib loaded=%ld end=%ld doc_bytes=%zu\n", rounds, loaded, status_kib("VmRSS:"), text);
    return 0;
}

// One-member merges into a document of the given size: the first merge and
// the median of the later ones, and the resident set after loading and
// after all merges.
static int merge_scale(long records, long merges) {
    std::string doc = jebench::gen_records(records);
    if (json_parse(doc.c_str()) != 0) return engine_fail("json_parse"), 1;
    size_t bytes = doc.size();
    doc = std::string();
    long loaded = status_kib("VmRSS:");
    std::vector<double> ms;
    for (long i = 0; i < merges; ++i) {
        std::string patch = "{\"meta\":{\"v\":" + std::to_string(i + 1) + "}}";
        auto t0 = std::chrono::steady_clock::now();
        if (json_merge(patch.c_str()) != 0) return engine_fail("json_merge"), 1;
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    double first = ms.empty() ? 0 : ms[0];
    std::vector<double> later(ms.begin() + (ms.empty() ? 0 : 1), ms.end());
    std::sort(later.begin(), later.end());
    double median = later.empty() ? first : later[later.size() / 2];
    printf("doc_bytes=%zu merges=%ld first_ms=%.4f median_ms=%.4f rss_kib loaded=%ld end=%ld\n", bytes, merges, first,
           median, loaded, status_kib("VmRSS:"));
    return 0;
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
    if (cmd == "rss-edits") return rss_edits(atol(argv[2]));
    if (cmd == "merge-scale") return merge_scale(atol(argv[2]), argc > 3 ? atol(argv[3]) : 50);
    long start = step_start();
    if (cmd == "rss-load" || cmd == "rss-query" || cmd == "rss-edit" || cmd == "rss-format") {
        if (cmd == "rss-query" && argc < 4) return usage();
        if (json_parse_file(argv[2]) != 0) {
            fprintf(stderr, "benchtool: %s\n", json_last_error());
            return 1;
        }
        if (cmd == "rss-query") {
            start = step_start();
            if (json_query(argv[3]) != 0) {
                fprintf(stderr, "benchtool: %s\n", json_last_error());
                return 1;
            }
        } else if (cmd == "rss-edit") {
            // Fails after the copy: the document has no such member.
            start = step_start();
            json_delete("$.bench_absent_key");
        } else if (cmd == "rss-format") {
            if (!json_format("minify")[0]) {
                fprintf(stderr, "benchtool: %s\n", json_last_error());
                return 1;
            }
        }
    } else if (cmd == "rss-yyjson" || cmd == "rss-yyjson-write" || cmd == "rss-yyjson-mut") {
        yyjson_read_err err;
        yyjson_doc *doc = yyjson_read_file(argv[2], 0, nullptr, &err);
        if (!doc) {
            fprintf(stderr, "benchtool: %s\n", err.msg);
            return 1;
        }
        if (cmd == "rss-yyjson-write") {
            size_t len = 0;
            char *text = yyjson_write(doc, 0, &len);
            if (!text) {
                fprintf(stderr, "benchtool: write failed\n");
                return 1;
            }
            free(text);
        } else if (cmd == "rss-yyjson-mut") {
            yyjson_mut_doc *copy = yyjson_doc_mut_copy(doc, nullptr);
            if (!copy) {
                fprintf(stderr, "benchtool: out of memory\n");
                return 1;
            }
            yyjson_doc_free(doc);
            doc = nullptr;
            long peak = peak_kib();
            printf("rss_kib start=%ld peak=%ld end=%ld\n", start, peak, status_kib("VmRSS:"));
            yyjson_mut_doc_free(copy);
            return 0;
        }
        long peak = peak_kib();
        printf("rss_kib start=%ld peak=%ld end=%ld\n", start, peak, status_kib("VmRSS:"));
        yyjson_doc_free(doc);
        return 0;
    } else {
        return usage();
    }
    printf("rss_kib start=%ld peak=%ld end=%ld\n", start, peak_kib(), status_kib("VmRSS:"));
    return 0;
}
