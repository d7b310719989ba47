// Storage of the engine document under sustained editing: moving the live
// tree into fresh storage changes no result, the storage stays near the
// size of the live tree whatever the edits, and deep documents move on a
// small stack.
#include <gtest/gtest.h>
#if defined(__linux__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "je_internal.h"
#include "je_test_util.h"

namespace {

std::string doc_text() { return json_get("$"); }

// Storage a fresh copy of the live tree takes: what the document needs.
size_t live_bytes() {
    je_mut_doc_guard copy(yyjson_mut_doc_new(nullptr));
    yyjson_mut_val *root = je_deep_copy(copy.d, yyjson_mut_doc_get_root(je_doc));
    EXPECT_NE(root, nullptr);
    return je_store_used(copy.d);
}

// Replacing then removing a member of this size leaves garbage just under
// what starts a move on a small document.
const std::string pad_value = "\"" + std::string(JE_STORE_SLACK - 256, 'p') + "\"";

struct lcg {
    uint64_t s;
    uint32_t next(uint32_t n) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(s >> 33) % n;
    }
};

// One step of an editing script, and everything a host sees of it.
std::string run_step(lcg &r) {
    static const char *const keys[] = {"a", "b", "k", "a\\u0000b"};
    static const char *const paths[] = {"$.a", "$.b", "$.o.x", "$.o.y", "$.arr[0]", "$.arr[1]", "$.o", "$.n.m.q"};
    static const char *const values[] = {"1", "\"text\"", "[1,[2,{\"z\":null}]]", "{\"a\":1,\"a\":2,\"o\":{\"x\":3}}",
                                         "{", "-0.0"};
    std::string seen;
    int rc = 0;
    switch (r.next(5)) {
        case 0: rc = json_set(paths[r.next(8)], values[r.next(6)]); break;
        case 1: rc = json_delete(paths[r.next(8)]); break;
        case 2: {
            std::string patch = std::string("{\"") + keys[r.next(4)] + "\":" + values[r.next(6)] + ",\"o\":{\"" +
                                keys[r.next(4)] + "\":" + values[r.next(6)] + "}}";
            rc = json_merge(patch.c_str());
            break;
        }
        case 3: {
            rc = json_diff(values[r.next(6)]);
            for (int i = 0; i < json_diff_count(); ++i)
                seen += std::string("|") + json_diff_field(i, "path") + json_diff_field(i, "type") +
                        json_diff_field(i, "a") + json_diff_field(i, "b");
            break;
        }
        default: rc = json_set("$.arr[0]", "[1,2,3]"); break;
    }
    return std::to_string(rc) + json_last_error() + seen + " " + doc_text();
}

const char *const script_doc = R"({"a":{"b":[1,2]},"k":"v","k":"w","o":{"x":{"y":1}},"arr":[0,1,2],"n":{}})";

TEST(Storage, MovingChangesNothingAHostSees) {
    constexpr int steps = 600;
    lcg plain{5};
    ASSERT_EQ(json_parse(script_doc), 0);
    std::vector<std::string> expected;
    for (int i = 0; i < steps; ++i) expected.push_back(run_step(plain));

    // The same script with garbage piled up beside it every 50 steps, so the
    // live tree moves again and again on the way.
    lcg moving{5};
    ASSERT_EQ(json_parse(script_doc), 0);
    int moves = 0;
    for (int i = 0; i < steps; ++i) {
        size_t garbage = je_store_garbage();
        if (i % 50 == 0) {
            ASSERT_EQ(json_set("$.pad", pad_value.c_str()), 0);
            ASSERT_EQ(json_delete("$.pad"), 0);
        }
        ASSERT_EQ(run_step(moving), expected[static_cast<size_t>(i)]) << "step " << i;
        if (je_store_garbage() < garbage) ++moves;
    }
    EXPECT_GE(moves, 5);
}

TEST(Storage, StaysNearTheLiveTree) {
    const std::string big = "\"" + std::string(20000, 'v') + "\"";
    const std::string big_patch = "{\"m\":{\"v\":" + big + "}}";
    const std::string big_object = "{\"x\":[" + big + "," + big + "],\"y\":{\"z\":" + big + "}}";
    struct Row {
        const char *name;
        std::function<void()> edit;
    } rows[] = {
        {"set replacing a member", [&] { EXPECT_EQ(json_set("$.m", big.c_str()), 0); }},
        {"set replacing duplicates",
         [&] {
             ASSERT_EQ(json_merge("{\"d\":{}}"), 0);
             EXPECT_EQ(json_set("$.d", big_object.c_str()), 0);
         }},
        {"set and delete",
         [&] {
             EXPECT_EQ(json_set("$.e", big_object.c_str()), 0);
             EXPECT_EQ(json_delete("$.e"), 0);
         }},
        {"insert and delete elements",
         [&] {
             EXPECT_EQ(json_set("$.arr[0]", big.c_str()), 0);
             EXPECT_EQ(json_delete("$.arr[0]"), 0);
         }},
        {"merge replacing a member", [&] { EXPECT_EQ(json_merge(big_patch.c_str()), 0); }},
        {"merge replacing the root",
         [&] {
             EXPECT_EQ(json_merge("[1]"), 0);
             EXPECT_EQ(json_merge("{\"arr\":[0]}"), 0);
         }},
        {"set replacing the root",
         [&] {
             EXPECT_EQ(json_set("$", big_object.c_str()), 0);
             EXPECT_EQ(json_set("$.m", "0"), 0);
         }},
        {"diff", [&] { EXPECT_EQ(json_diff(big_object.c_str()), 0); }},
        {"set failing after parsing", [&] { EXPECT_EQ(json_set("$.arr.x", big_object.c_str()), -1); }},
        {"set failing to parse", [&] { EXPECT_EQ(json_set("$.m", (big_object + ",").c_str()), -1); }},
        {"merge failing to parse", [&] { EXPECT_EQ(json_merge((big_patch + "]").c_str()), -1); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_parse(R"({"m":0,"arr":[0],"d":1})"), 0);
        // Reads alone keep the loaded tree; the storage measured is the
        // mutable one every edit works on.
        ASSERT_NE(je_doc_mut(), nullptr);
        // Each round edits some 60 KB: 3000 rounds would be 180 MB kept.
        for (int round = 0; round < 3000; ++round) {
            row.edit();
            if (::testing::Test::HasFailure()) return;
        }
        size_t live = live_bytes();
        EXPECT_LE(je_store_used(je_doc), 2 * live + 2 * JE_STORE_SLACK) << "live " << live;
    }
}

TEST(Storage, ReplacingALargeRootFreesItsStorage) {
    for (const char *how : {"set", "merge"}) {
        SCOPED_TRACE(how);
        ASSERT_EQ(json_parse(("{\"a\":\"" + std::string(4 * JE_STORE_SLACK, 'x') + "\"}").c_str()), 0);
        ASSERT_EQ(std::string(how) == "set" ? json_set("$", "[1]") : json_merge("[1]"), 0);
        EXPECT_EQ(doc_text(), "[1]");
        EXPECT_LT(je_store_used(je_doc), JE_STORE_SLACK);
    }
}

TEST(Storage, DeepDocumentsMoveOnSmallStack) {
    const std::string deep = je_nested(JE_TEST_DEEP, "[", "]", "{\"k\":1}");
    const std::string doc = "{\"deep\":" + deep + ",\"pad\":0}";
    // More than the deep tree takes (a value per level).
    const std::string pad = "\"" + std::string(JE_TEST_DEEP * sizeof(yyjson_mut_val) + 2 * JE_STORE_SLACK, 'p') + "\"";
    je_run_small_stack([&] {
        ASSERT_EQ(json_parse(doc.c_str()), 0);
        // Replacing the big member piles up garbage beyond the deep tree:
        // the deep tree moves.
        ASSERT_EQ(json_set("$.pad", pad.c_str()), 0);
        size_t garbage = je_store_garbage();
        ASSERT_EQ(json_set("$.pad", "1"), 0);
        EXPECT_LT(je_store_garbage(), garbage);
        EXPECT_TRUE(doc_text() == "{\"deep\":" + deep + ",\"pad\":1}");
        // Dropping the deep tree itself, by set, merge and delete.
        ASSERT_EQ(json_set("$.deep", "2"), 0);
        EXPECT_EQ(doc_text(), "{\"deep\":2,\"pad\":1}");
        ASSERT_EQ(json_set("$.deep", deep.c_str()), 0);
        ASSERT_EQ(json_merge("{\"deep\":3}"), 0);
        EXPECT_EQ(doc_text(), "{\"deep\":3,\"pad\":1}");
        ASSERT_EQ(json_set("$.deep", deep.c_str()), 0);
        ASSERT_EQ(json_delete("$.deep"), 0);
        EXPECT_EQ(doc_text(), "{\"pad\":1}");
    });
}

}  // namespace

#if defined(__linux__)
// Page faults while fn runs, counted in a child process: a page the table
// already holds from an earlier call is copied there on its first write,
// so every page a call writes counts whatever ran before it.
static long faults_during(const std::function<void()> &fn) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        struct rusage before, after;
        getrusage(RUSAGE_SELF, &before);
        fn();
        getrusage(RUSAGE_SELF, &after);
        long n = after.ru_minflt - before.ru_minflt;
        ssize_t w = write(fds[1], &n, sizeof n);
        _exit(w == sizeof n ? 0 : 1);
    }
    close(fds[1]);
    long n = -1;
    if (read(fds[0], &n, sizeof n) != sizeof n) n = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return n;
}

// A full table of short rows costs about the bytes of its texts: rows of
// fixed 4 KiB fields wrote two or three fresh pages each.
TEST(Storage, FullResultTablesOfShortRowsStaySmall) {
    std::string doc = "[", other = "[";
    for (int i = 0; i < 10000; ++i) {
        doc += std::string(i ? "," : "") + "\"x\"";
        other += std::string(i ? "," : "") + "1";
    }
    doc += "]";
    other += "]";
    ASSERT_EQ(json_parse(doc.c_str()), 0);
    struct Row {
        const char *name;
        std::function<void()> call;
    } rows[] = {
        {"search", [] { EXPECT_EQ(json_search("value", "x"), 0); }},
        {"diff", [&] { EXPECT_EQ(json_diff(other.c_str()), 0); }},
        {"flatten", [] { EXPECT_NE(json_flatten()[0], '\0'); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        row.call();  // the table is at its largest in the parent too
        long faults = faults_during(row.call);
        ASSERT_GE(faults, 0);
        EXPECT_LT(faults, 3000) << "10,000 rows";
    }
}
#endif
