// Replays inputs through the fuzz targets' own checks, in the ordinary
// test builds (no clang or libFuzzer needed): the targets' inline seed
// cases and every input kept in fuzz/regressions/<target>/, where each
// finding of a fuzz run is added once fixed. A broken invariant is a test
// failure naming the case.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include <string>

// The case being replayed, named in every failure (the checks run on a
// thread of their own, where a scoped trace would not show).
static std::string je_replay_case;
struct je_fuzz_stop {};
#define JE_FUZZ_REPLAY 1
#define JE_FUZZ_FAIL(file, line, what)                                  \
    do {                                                                \
        ADD_FAILURE_AT(file, line) << je_replay_case << ": " << (what); \
        throw je_fuzz_stop{};                                           \
    } while (0)

#include "../fuzz/fuzz_csv.cpp"
#include "../fuzz/fuzz_inspect.cpp"
#include "../fuzz/fuzz_load.cpp"
#include "../fuzz/fuzz_merge_diff.cpp"
#include "../fuzz/fuzz_paths.cpp"
#include "../fuzz/fuzz_query.cpp"
#include "../fuzz/fuzz_trees.cpp"
#include "../fuzz/seed_cases.h"

namespace {

namespace fs = std::filesystem;
using target_fn = void (*)(const uint8_t *, size_t);

const std::map<std::string, target_fn> &targets() {
    static const std::map<std::string, target_fn> t = {
        {"load", je_fuzz_load::run},   {"paths", je_fuzz_paths::run},           {"query", je_fuzz_query::run},
        {"csv", je_fuzz_csv::run},     {"merge_diff", je_fuzz_merge_diff::run}, {"inspect", je_fuzz_inspect::run},
        {"trees", je_fuzz_trees::run},
    };
    return t;
}

void replay(target_fn fn, const std::string &bytes) {
    je_fuzz_on_small_stack([&] {
        try {
            fn(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
        } catch (const je_fuzz_stop &) {
        }
    });
}

TEST(FuzzReplay, SeedCases) {
    std::map<std::string, int> counts;
    for (const je_seed_case &c : je_seed_cases()) {
        int n = counts[c.family]++;
        je_replay_case = std::string(c.family) + " inline case " + std::to_string(n);
        auto it = targets().find(c.family);
        ASSERT_NE(it, targets().end()) << c.family;
        replay(it->second, c.bytes);
    }
}

TEST(FuzzReplay, RecordedFindings) {
    fs::path dir = fs::path(JE_EXAMPLES_DIR).parent_path() / "fuzz" / "regressions";
    // A missing folder would replay nothing and pass; each target has one.
    for (const auto &[family, fn] : targets()) {
        ASSERT_TRUE(fs::is_directory(dir / family)) << (dir / family) << " is missing";
        for (const auto &entry : fs::directory_iterator(dir / family)) {
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
            je_replay_case = family + "/" + entry.path().filename().string();
            std::ifstream in(entry.path(), std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            replay(fn, bytes);
        }
    }
}

}  // namespace
