// Allocation-failure injection: a representative call of each of the 26
// functions runs once with the Nth allocation failing, for every N from 1
// until the call no longer reaches N allocations, in two modes: only the
// Nth allocation fails, and the Nth and all later ones fail (memory
// exhausted). Each run must either give exactly the result of an
// undisturbed run or fail with one of the call's out-of-memory messages,
// leaving the document byte-identical where a failure promises that; and
// no run may leak a block (the hook's live count after the engine is
// brought back to a fixed state equals the count before).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include <yyjson.h>

#include "alloc_hook.h"
#include "je_internal.h"
#include "quendral/jsonengine.h"

namespace {

const char *const kDoc =
    "{\"store\":{\"book\":[{\"title\":\"A\",\"price\":8,\"tags\":[\"x\",\"y\"]},"
    "{\"title\":\"B \\u00e9\",\"price\":12.5,\"isbn\":null}],\"name\":\"S\"},"
    "\"list\":[{\"a\":1,\"b\":\"x,y\"},{\"a\":2,\"c\":[true,{\"d\":null}]}],\"n\":-0.0}";

// What one call gave: its status and text as returned, then the read-outs
// made afterwards with the hook disarmed. Held in fixed fields, so that an
// outcome owns no heap block while the live blocks are counted.
struct outcome {
    int rc = 0;
    const char *ptr = nullptr;  // text result, copied into text after the run
    char text[16384] = "", err[1024] = "", extra[32768] = "", doc[16384] = "";
    bool operator==(const outcome &o) const {
        return rc == o.rc && !strcmp(text, o.text) && !strcmp(err, o.err) && !strcmp(extra, o.extra) &&
               !strcmp(doc, o.doc);
    }
};

template <size_t N>
void put(char (&field)[N], const std::string &s) {
    snprintf(field, N, "%s", s.c_str());
}

std::string str(const char *s) { return s ? s : "<NULL>"; }

std::string show(const outcome &o) {
    return "rc " + std::to_string(o.rc) + ", text '" + std::string(o.text).substr(0, 200) + "', message '" + o.err +
           "', extra '" + std::string(o.extra).substr(0, 300) + "'";
}

// The document as it stands; "" when none is loaded.
std::string doc_text() { return str(json_get("$")); }

struct op_case {
    const char *name;
    void (*setup)();               // the starting state (hook disarmed)
    void (*invoke)(outcome &);     // the call under test: no allocation of its own here
    void (*read)(outcome &);       // read-outs after the call (hook disarmed)
    std::vector<std::string> oom;  // messages an allocation failure may leave
    bool unchanged;                // a failed call leaves the document byte-identical
};

// Test listings name a case by its function.
void PrintTo(const op_case &c, std::ostream *os) { *os << c.name; }

void load_doc() { ASSERT_EQ(json_parse(kDoc), 0) << json_last_error(); }
void no_read(outcome &) {}

std::string temp_doc_file() {
    static std::string path;
    if (path.empty()) {
        char name[] = "/tmp/je_alloc_XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
        std::ofstream(path, std::ios::binary) << kDoc;
    }
    return path;
}

void read_query(outcome &o) {
    std::string e = std::to_string(json_query_count());
    for (int i = 0; i < json_query_count(); ++i)
        e += "|" + str(json_query_field(i, "path")) + "=" + str(json_query_field(i, "value"));
    put(o.extra, e);
}

void read_search(outcome &o) {
    std::string e = std::to_string(json_search_count());
    for (int i = 0; i < json_search_count(); ++i)
        e += "|" + str(json_search_field(i, "path")) + "," + str(json_search_field(i, "key")) + "," +
             str(json_search_field(i, "value"));
    put(o.extra, e);
}

void read_diff(outcome &o) {
    std::string e = std::to_string(json_diff_count());
    for (int i = 0; i < json_diff_count(); ++i)
        e += "|" + str(json_diff_field(i, "path")) + "," + str(json_diff_field(i, "type")) + "," +
             str(json_diff_field(i, "a")) + "," + str(json_diff_field(i, "b"));
    put(o.extra, e);
}

void query_ready() {
    load_doc();
    ASSERT_EQ(json_query("$.store.book[?.price > 5] | map(.title)"), 0) << json_last_error();
}
void search_ready() {
    load_doc();
    ASSERT_EQ(json_search("both", "t"), 0) << json_last_error();
}
void diff_ready() {
    load_doc();
    ASSERT_EQ(json_diff("{\"store\":{\"name\":\"T\"},\"list\":[1]}"), 0) << json_last_error();
}
void validate_ready() { ASSERT_EQ(json_validate("{\"a\":1,\"a\":2}"), -1); }

const std::vector<op_case> &cases() {
    static const std::vector<op_case> all = {
        {"json_last_error", load_doc, [](outcome &o) { o.ptr = json_last_error(); }, no_read, {}, true},
        {"json_parse",
         load_doc,
         [](outcome &o) { o.rc = json_parse("[1,{\"k\":\"v\"},\"\\u20ac\",2.5]"); },
         no_read,
         {"out of memory", "out of memory (deep copy)"},
         true},
        {"json_parse_file",
         load_doc,
         [](outcome &o) {
             static std::string path = temp_doc_file();
             o.rc = json_parse_file(path.c_str());
         },
         no_read,
         {"out of memory", "out of memory (deep copy)", "cannot open file: " + temp_doc_file()},
         true},
        {"json_root_type", load_doc, [](outcome &o) { o.ptr = json_root_type(); }, no_read, {}, true},
        {"json_get",
         load_doc,
         [](outcome &o) { o.ptr = json_get("$.store.book"); },
         no_read,
         {"out of memory", "internal: json write failed"},
         true},
        {"json_extract",
         load_doc,
         [](outcome &o) { o.ptr = json_extract("$.list[1]"); },
         no_read,
         {"out of memory", "internal: json write failed"},
         true},
        {"json_set (replace)",
         load_doc,
         [](outcome &o) { o.rc = json_set("$.store.book[1]", "{\"new\":[1,2,{\"3\":\"\\u00e9\"}]}"); },
         no_read,
         {"value: out of memory", "internal: array insert failed", "out of memory (deep copy)"},
         true},
        {"json_set (intermediates)",
         load_doc,
         [](outcome &o) { o.rc = json_set("$.x.y.z", "[1]"); },
         no_read,
         {"value: out of memory", "internal: failed to create intermediate object", "internal: object set failed",
          "out of memory (deep copy)"},
         false},
        {"json_delete",
         load_doc,
         [](outcome &o) { o.rc = json_delete("$.store.book[0].tags"); },
         no_read,
         {"out of memory (deep copy)"},
         true},
        {"json_query",
         load_doc,
         [](outcome &o) { o.rc = json_query("$.store.book[?.tags.length == 2] | map(.title)"); },
         read_query,
         {"out of memory", "query evaluation failed", "out of memory (query result)",
          "internal: result reparse failed"},
         true},
        {"json_query_count", query_ready, [](outcome &o) { o.rc = json_query_count(); }, no_read, {}, true},
        {"json_query_field", query_ready, [](outcome &o) { o.ptr = json_query_field(0, "value"); }, no_read, {}, true},
        {"json_query_raw", query_ready, [](outcome &o) { o.ptr = json_query_raw(); }, no_read, {"out of memory"}, true},
        {"json_validate",
         load_doc,
         [](outcome &o) { o.rc = json_validate("{\"a\":[1,{\"b\":2,\"b\":3}]}"); },
         [](outcome &o) { put(o.extra, str(json_validate_report_json())); },
         {"out of memory"},
         true},
        {"json_validate_report_json",
         validate_ready,
         [](outcome &o) { o.ptr = json_validate_report_json(); },
         no_read,
         {},
         true},
        {"json_stats_json",
         load_doc,
         [](outcome &o) { o.ptr = json_stats_json(); },
         no_read,
         {"out of memory", "internal: json write failed"},
         true},
        {"json_search",
         load_doc,
         [](outcome &o) { o.rc = json_search("both", "t"); },
         read_search,
         {"out of memory", "internal: json write failed"},
         true},
        {"json_search_count", search_ready, [](outcome &o) { o.rc = json_search_count(); }, no_read, {}, true},
        {"json_search_field",
         search_ready,
         [](outcome &o) { o.ptr = json_search_field(1, "value"); },
         no_read,
         {},
         true},
        {"json_flatten",
         load_doc,
         [](outcome &o) { o.ptr = json_flatten(); },
         no_read,
         {"out of memory", "internal: json write failed"},
         true},
        {"json_format pretty",
         load_doc,
         [](outcome &o) { o.ptr = json_format(nullptr); },
         no_read,
         {"out of memory", "internal: json write failed"},
         true},
        {"json_format minify",
         load_doc,
         [](outcome &o) { o.ptr = json_format("minify"); },
         no_read,
         {"out of memory", "internal: json write failed"},
         true},
        {"json_format sorted",
         load_doc,
         [](outcome &o) { o.ptr = json_format("sorted"); },
         no_read,
         {"out of memory", "internal: json write failed", "sort copy failed (memory)"},
         true},
        {"json_merge",
         load_doc,
         [](outcome &o) { o.rc = json_merge("{\"store\":{\"name\":\"T\",\"new\":[1,{\"q\":2}]},\"z\":{}}"); },
         no_read,
         {"merge target: out of memory", "merge failed (memory)", "out of memory", "out of memory (deep copy)"},
         true},
        {"json_merge (duplicates, nested objects, new keys)",
         [] {
             ASSERT_EQ(json_parse("{\"a\":{\"x\":1,\"x\":{\"y\":2},\"z\":[3]},\"b\":1,\"a\":{\"x\":{\"y\":4,\"w\":5}},"
                                  "\"c\":{\"d\":{\"e\":6}}}"),
                       0);
         },
         [](outcome &o) {
             o.rc = json_merge(
                 "{\"a\":{\"x\":{\"y\":[7],\"v\":8},\"n\":{\"m\":9}},\"c\":{\"d\":{\"e\":\"t\",\"f\":[]},"
                 "\"g\":1},\"b\":{\"h\":2},\"new\":[1,{\"q\":2}],\"new\":3}");
         },
         no_read,
         {"merge target: out of memory", "merge failed (memory)", "out of memory", "out of memory (deep copy)"},
         true},
        {"json_diff",
         load_doc,
         [](outcome &o) { o.rc = json_diff("{\"store\":{\"name\":\"T\",\"book\":[]},\"list\":[1],\"m\":{\"k\":[]}}"); },
         read_diff,
         {"diff target: out of memory", "out of memory", "internal: json write failed"},
         true},
        {"json_diff_count", diff_ready, [](outcome &o) { o.rc = json_diff_count(); }, no_read, {}, true},
        {"json_diff_field", diff_ready, [](outcome &o) { o.ptr = json_diff_field(0, "b"); }, no_read, {}, true},
        {"json_to_csv",
         load_doc,
         [](outcome &o) { o.ptr = json_to_csv("$.list"); },
         no_read,
         {"out of memory", "internal: json write failed"},
         true},
        {"json_from_csv",
         load_doc,
         [](outcome &o) { o.rc = json_from_csv("a,b,c\n1,x,\n2.5,\"q,\"\"r\",true\n"); },
         no_read,
         {"out of memory"},
         true},
    };
    return all;
}

// Brings the engine to a fixed state whose heap blocks do not depend on
// what ran before: a small document, one query result.
void normalize() {
    ASSERT_EQ(json_parse("[0]"), 0);
    ASSERT_EQ(json_query("$"), 0);
}

// One run of a case with the hook armed for allocation n; the document
// text before the call goes to `before`.
void run_once(const op_case &c, size_t n, je_fail_mode mode, bool *failed, outcome &o, char (&before)[16384]) {
    c.setup();
    put(before, doc_text());
    o = outcome();
    je_alloc_arm(n, mode);
    c.invoke(o);
    *failed = je_alloc_disarm();
    put(o.err, str(json_last_error()));
    put(o.text, o.ptr ? o.ptr : "");
    c.read(o);
    put(o.doc, doc_text());
}

class AllocFail : public ::testing::TestWithParam<op_case> {
protected:
    static void SetUpTestSuite() {
        // The shared output buffer is made once and kept for the process;
        // make it before any count is taken.
        ASSERT_EQ(json_parse(kDoc), 0);
        ASSERT_STRNE(json_get("$"), "");
        normalize();
    }
};

TEST_P(AllocFail, EveryAllocationFailing) {
    const op_case &c = GetParam();
    bool failed = false;
    static outcome reference, o;
    static char before[16384];
    normalize();
    run_once(c, 0, je_fail_mode::only, &failed, reference, before);
    for (je_fail_mode mode : {je_fail_mode::only, je_fail_mode::from}) {
        const char *mode_name = mode == je_fail_mode::only ? "only allocation " : "allocations from ";
        for (size_t n = 1; n < 100000; ++n) {
            normalize();
            long live_before = je_alloc_live();
            run_once(c, n, mode, &failed, o, before);
            normalize();
            long leaked = je_alloc_live() - live_before;
            std::string where = std::string(c.name) + ", " + mode_name + std::to_string(n) + " failing";
            EXPECT_EQ(leaked, 0) << where << ": blocks leaked";
            if (!failed) {
                EXPECT_TRUE(o == reference)
                    << where << ": an undisturbed run gave " << show(o) << " instead of " << show(reference);
                break;
            }
            if (o == reference) continue;  // the failure was absorbed
            bool known = std::find(c.oom.begin(), c.oom.end(), std::string(o.err)) != c.oom.end();
            EXPECT_TRUE(known) << where << ": " << show(o) << "; undisturbed: " << show(reference);
            if (c.unchanged) {
                EXPECT_STREQ(o.doc, before) << where << ": a failed call changed the document";
            }
            EXPECT_STRNE(o.doc, "") << where << ": the document no longer writes";
            if (o.rc == -1 && (c.read == read_query || c.read == read_search || c.read == read_diff)) {
                EXPECT_STREQ(o.extra, "0") << where << ": a failed call left rows";
            }
            if (::testing::Test::HasFailure()) return;  // one report per case is enough
        }
    }
}

std::string case_name(const ::testing::TestParamInfo<op_case> &info) {
    std::string s;
    for (const char *p = info.param.name; *p; ++p) s += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return s;
}

INSTANTIATE_TEST_SUITE_P(AllFunctions, AllocFail, ::testing::ValuesIn(cases()), case_name);

// A file that shrinks between taking its size and reading it: the hook
// truncates it from inside the allocation of its text block.
TEST(AllocFailFile, FileShrinksWhileRead) {
    std::string path = "/tmp/je_alloc_shrink.json";
    std::string content = "[" + std::string(5000, ' ') + "1]";
    std::ofstream(path, std::ios::binary) << content;
    load_doc();
    std::string before = doc_text();
    je_alloc_on_size(content.size() + YYJSON_PADDING_SIZE, [&] { ASSERT_EQ(truncate(path.c_str(), 10), 0); });
    EXPECT_EQ(json_parse_file(path.c_str()), -1);
    EXPECT_EQ(str(json_last_error()), "short read on " + path);
    EXPECT_EQ(doc_text(), before);
    unlink(path.c_str());
}

// An edit that leaves enough garbage moves the live tree into fresh
// storage. Failing allocations of the edit itself fail it as usual; when
// memory for the move runs out, the edit still succeeds and the document
// stays where it was. Nothing leaks either way.
TEST(AllocFailFile, MoveWithoutMemoryKeepsTheDocument) {
    static char text[16384], before[16384], err[1024];
    const std::string pad = "\"" + std::string(JE_STORE_SLACK - 256, 'p') + "\"";
    const std::string name = "\"" + std::string(4000, 'n') + "\"";
    auto setup = [&] {
        load_doc();
        ASSERT_EQ(json_set("$.pad", pad.c_str()), 0);
        ASSERT_EQ(json_delete("$.pad"), 0);
        ASSERT_EQ(json_set("$.store.name", name.c_str()), 0);
        ASSERT_NE(je_store_garbage(), 0u);
    };
    setup();
    ASSERT_EQ(json_set("$.store.name", "\"T\""), 0);
    ASSERT_EQ(je_store_garbage(), 0u) << "the edit did not move the document";
    const std::string expected = doc_text();
    for (je_fail_mode mode : {je_fail_mode::only, je_fail_mode::from}) {
        for (size_t n = 1; n < 1000; ++n) {
            normalize();
            long live_before = je_alloc_live();
            setup();
            snprintf(before, sizeof before, "%s", doc_text().c_str());
            je_alloc_arm(n, mode);
            int rc = json_set("$.store.name", "\"T\"");
            bool failed = je_alloc_disarm();
            bool moved = je_store_garbage() == 0;
            snprintf(err, sizeof err, "%s", json_last_error());
            snprintf(text, sizeof text, "%s", doc_text().c_str());
            normalize();
            EXPECT_EQ(je_alloc_live(), live_before) << "allocation " << n << ": blocks leaked";
            if (rc != 0) {
                EXPECT_TRUE(!strcmp(err, "value: out of memory") || !strcmp(err, "internal: object set failed"))
                    << "allocation " << n << ": " << err;
                EXPECT_STREQ(text, before) << "allocation " << n;
            } else {
                EXPECT_STREQ(text, expected.c_str()) << "allocation " << n;
            }
            if (!failed) {
                EXPECT_TRUE(moved) << "allocation " << n;
                break;
            }
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// Growing the shared output buffer fails at some allocation of the sweep:
// that call fails with "out of memory", every other failing one with the
// writer's message, the document stays, and nothing leaks.
TEST(AllocFailFile, OutputBufferCannotGrow) {
    static char text[16], err[1024];
    std::string big = "[\"" + std::string(300000, 'x') + "\",1]";
    ASSERT_EQ(json_parse(big.c_str()), 0);
    bool buffer_failed = false;
    for (size_t n = 1; n < 1000; ++n) {
        long live_before = je_alloc_live();
        je_alloc_arm(n, je_fail_mode::only);
        const char *got = json_get("$");
        bool failed = je_alloc_disarm();
        snprintf(text, sizeof text, "%s", got);
        snprintf(err, sizeof err, "%s", json_last_error());
        EXPECT_EQ(je_alloc_live(), live_before) << "allocation " << n << ": blocks leaked";
        if (!failed) {
            EXPECT_EQ(std::string(got), big);
            break;
        }
        EXPECT_STREQ(text, "") << "allocation " << n;
        EXPECT_TRUE(!strcmp(err, "out of memory") || !strcmp(err, "internal: json write failed"))
            << "allocation " << n << ": " << err;
        buffer_failed |= !strcmp(err, "out of memory");
        EXPECT_STREQ(json_get("$[1]"), "1") << "allocation " << n << ": the engine no longer reads";
    }
    EXPECT_TRUE(buffer_failed) << "no run failed in the output buffer";
}

}  // namespace
