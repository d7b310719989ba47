// The benchmark program: reads the three benchmark documents, generates the
// large document and the record array, registers every family per document
// and runs Google Benchmark.
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "bench_common.h"
#include "gen.h"

#ifndef JE_BENCH_DATA_DIR
#define JE_BENCH_DATA_DIR ""
#endif

namespace jebench {

std::vector<doc *> &docs() {
    static std::vector<doc *> all;
    return all;
}

doc *find_doc(const std::string &name) {
    for (doc *d : docs())
        if (d->name == name) return d;
    return nullptr;
}

static const doc *engine_holds = nullptr;
static std::string current_name;  // of the running benchmark

bool engine_load(benchmark::State &st, const doc &d) {
    if (engine_holds == &d) return true;
    engine_holds = nullptr;
    if (json_parse(d.json().c_str()) != 0) {
        st.SkipWithError((std::string("json_parse: ") + json_last_error()).c_str());
        return false;
    }
    engine_holds = &d;
    return true;
}

void engine_forget() { engine_holds = nullptr; }

bool engine_ok(benchmark::State &st, bool ok, const char *what) {
    if (!ok) st.SkipWithError((std::string(what) + ": " + json_last_error()).c_str());
    return ok;
}

void check_same(benchmark::State &st, const std::string &engine, const std::string &baseline) {
    if (engine == baseline) return;
    st.SetLabel("output differs from baseline");
    // With JE_BENCH_DUMP=DIR both texts are kept for a look with diff(1).
    if (const char *dir = getenv("JE_BENCH_DUMP")) {
        std::string stem = current_name;
        for (char &c : stem) c = c == '/' ? '_' : c;
        stem = std::string(dir) + "/" + stem;
        std::ofstream(stem + ".engine", std::ios::binary) << engine;
        std::ofstream(stem + ".yyjson", std::ios::binary) << baseline;
    }
}

yyjson_mut_doc *baseline_doc(const doc &d) {
    static const doc *held = nullptr;
    static yyjson_mut_doc *copy = nullptr;
    if (held == &d) return copy;
    yyjson_mut_doc_free(copy);
    copy = nullptr;
    held = nullptr;
    yyjson_doc *imut = yyjson_read(d.json().data(), d.json().size(), 0);
    if (!imut) return nullptr;
    copy = yyjson_doc_mut_copy(imut, nullptr);
    yyjson_doc_free(imut);
    if (copy) held = &d;
    return copy;
}

std::vector<step> split_path(const char *path) {
    std::vector<step> steps;
    const char *p = path + 1;  // past "$"
    while (*p) {
        if (*p == '.') {
            const char *start = ++p;
            while (*p && *p != '.' && *p != '[') ++p;
            steps.push_back({true, std::string(start, p), 0});
        } else {  // "[n]"
            size_t n = strtoull(p + 1, const_cast<char **>(&p), 10);
            ++p;  // "]"
            steps.push_back({false, {}, n});
        }
    }
    return steps;
}

yyjson_mut_val *nav(yyjson_mut_val *root, const std::vector<step> &steps) {
    yyjson_mut_val *cur = root;
    for (const step &s : steps) {
        if (!cur) break;
        cur = s.is_key ? yyjson_mut_obj_getn(cur, s.key.data(), s.key.size()) : yyjson_mut_arr_get(cur, s.index);
    }
    return cur;
}

void append_val(std::string &out, const yyjson_mut_val *val) {
    size_t len = 0;
    char *text = yyjson_mut_val_write(val, 0, &len);
    if (text) out.append(text, len);
    free(text);
}

void append_val(std::string &out, const yyjson_val *val) {
    size_t len = 0;
    char *text = yyjson_val_write(val, 0, &len);
    if (text) out.append(text, len);
    free(text);
}

double min_time(const doc &d) {
    static double scale = [] {
        const char *s = getenv("JE_BENCH_TIME_SCALE");
        double v = s ? atof(s) : 1.0;
        return v > 0 ? v : 1.0;
    }();
    return (d.large ? 0.3 : 0.1) * scale;
}

void add(const std::string &family, const doc &d, const char *side, std::function<void(benchmark::State &)> fn) {
    std::string name = family + "/" + d.name + "/" + side;
    benchmark::RegisterBenchmark(name.c_str(),
                                 [fn, name](benchmark::State &st) {
                                     current_name = name;
                                     fn(st);
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(min_time(d))
        // With repetitions, the fastest one: other work on the machine only
        // ever adds time.
        ->ComputeStatistics("min", [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); });
}

}  // namespace jebench

static bool read_file(const std::string &path, std::string &out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

int main(int argc, char **argv) {
    using namespace jebench;
    // Blocks up to 32 MiB come from the heap and freed memory stays with the
    // process, so a benchmark does not pay page faults that depend on which
    // benchmark ran before it.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    std::vector<std::unique_ptr<doc>> owned;
    std::string dir = std::string(JE_BENCH_DATA_DIR) + "/bench-docs/";
    for (const char *name : {"twitter", "citm_catalog", "canada"}) {
        auto d = std::make_unique<doc>();
        if (!read_file(dir + name + ".json", d->text)) {
            fprintf(stderr, "bench: %s%s.json is absent; its benchmarks are skipped\n", dir.c_str(), name);
            continue;
        }
        d->made = true;
        d->name = name == std::string("citm_catalog") ? "citm" : name;
        owned.push_back(std::move(d));
    }
    auto large = std::make_unique<doc>();
    large->name = "large";
    large->large = true;
    large->make = gen_large;
    owned.push_back(std::move(large));
    auto rows = std::make_unique<doc>();
    rows->name = "rows";
    rows->large = true;
    rows->make = gen_rows;
    owned.push_back(std::move(rows));
    for (auto &d : owned) docs().push_back(d.get());
    for (doc *d : docs()) {
        register_core(*d);
        register_query(*d);
        register_inspect(*d);
        register_convert(*d);
    }
    register_sustained();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
