// Writes the seed corpora of the fuzz targets: OUT/<target>/ for every
// target, from the inline cases and, when the data directory exists, from
// the JSON parsing suite and the CSV examples in it.
//
//   je_fuzz_seeds OUT_DIR [DATA_DIR]
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include "seed_cases.h"

namespace fs = std::filesystem;

static std::string slurp(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

static void put(const fs::path &dir, const std::string &name, const std::string &bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
}

static std::vector<fs::path> files_in(const fs::path &dir, const std::string &ext) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file() && e.path().extension() == ext) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        std::cerr << "usage: je_fuzz_seeds OUT_DIR [DATA_DIR]\n";
        return 2;
    }
    const fs::path out = argv[1];
    const char *families[] = {"load", "paths", "query", "csv", "merge_diff", "inspect", "trees"};
    for (const char *f : families) fs::create_directories(out / f);

    std::map<std::string, int> counts;
    for (const je_seed_case &c : je_seed_cases()) {
        int n = counts[c.family]++;
        put(out / c.family, "inline-" + std::to_string(n), c.bytes);
    }

    if (argc > 2 && fs::is_directory(argv[2])) {
        const fs::path data = argv[2];
        // Documents that every target can start from: the suite's texts that
        // must be accepted, and the ones either way, small enough to mutate.
        std::vector<std::string> docs;
        for (const fs::path &p : files_in(data / "json-test-suite" / "test_parsing", ".json")) {
            std::string text = slurp(p);
            put(out / "load", p.filename().string(), text);
            std::string name = p.filename().string();
            if ((name[0] == 'y' || name[0] == 'i') && text.size() < 4096) docs.push_back(text);
        }
        for (size_t i = 0; i < docs.size(); ++i) {
            std::string id = std::to_string(i);
            put(out / "paths", "suite-" + id, je_seed_join({docs[i], "$[0]", "{\"k\":[1]}"}));
            put(out / "query", "suite-" + id, je_seed_join({docs[i], "$[][?$]"}));
            put(out / "merge_diff", "suite-" + id, je_seed_join({docs[i], docs[(i + 1) % docs.size()]}));
            put(out / "inspect", "suite-" + id, je_seed_join({docs[i], "a", "both"}));
            put(out / "trees", "suite-" + id, je_seed_join({docs[i], "$[0]", "$.*[?.a]", "a"}));
        }
        for (const fs::path &p : files_in(data / "csv-spectrum" / "csvs", ".csv"))
            put(out / "csv", p.filename().string(), je_seed_join({slurp(p), "$"}));
    }
    for (const char *f : families) {
        size_t n = 0;
        for (const auto &e : fs::directory_iterator(out / f)) n += e.is_regular_file();
        std::cout << "seeds " << f << ": " << n << "\n";
    }
    return 0;
}
