// Engine core: the error slot, the shared output buffer, the text builder,
// loading documents from text and files, root types, the value-text parser,
// the JSON parsing corpus and loading a document nested 1,000,000 levels.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "je_test_util.h"
#include "je_tree.h"

namespace {

// The output buffer's text, or null when it is absent or empty.
const char *bigbuf_text() { return (je_bigbuf.ptr && je_bigbuf.ptr[0]) ? je_bigbuf.ptr : nullptr; }

// The state a freshly loaded library starts in, taken before any test runs.
const std::string initial_error = json_last_error();
const std::string initial_root_type = json_root_type();
const bool initial_bigbuf_empty = bigbuf_text() == nullptr && je_bigbuf.cap == 0;

// Drops the engine document so a test can see the "nothing loaded" state
// whatever ran before it in this process.
void unload() { je_doc_replace(nullptr); }

std::string get_all() { return json_get("$"); }

TEST(EngineState, StartsEmpty) {
    EXPECT_EQ(initial_error, "");
    EXPECT_EQ(initial_root_type, "");
    EXPECT_TRUE(initial_bigbuf_empty);
}

TEST(EngineState, MessagesAreCutAt1023Bytes) {
    std::string long_msg(1500, 'm');
    je_set_error(long_msg.c_str());
    EXPECT_EQ(std::string(json_last_error()), long_msg.substr(0, 1023));

    je_set_errorf("%s!", long_msg.c_str());
    EXPECT_EQ(std::string(json_last_error()), long_msg.substr(0, 1023));

    // Through the interface: a 1,500-byte path named in a message.
    ASSERT_EQ(json_parse("{}"), 0);
    std::string path(1500, 'p');
    EXPECT_STREQ(json_get(path.c_str()), "");
    EXPECT_EQ(std::string(json_last_error()), ("path must start with '$': " + path).substr(0, 1023));

    je_set_error(nullptr);
    EXPECT_STREQ(json_last_error(), "");
    je_set_errorf("%d %s %zu", -1, "x", size_t{7});
    EXPECT_STREQ(json_last_error(), "-1 x 7");
}

TEST(EngineState, AccessorsKeepTheMessageAndWorkingCallsClearIt) {
    ASSERT_EQ(json_parse("{\"a\":1}"), 0);
    ASSERT_EQ(json_parse("{"), -1);
    const std::string msg = json_last_error();
    ASSERT_NE(msg, "");
    EXPECT_STREQ(json_root_type(), "object");
    EXPECT_EQ(json_last_error(), msg);
    EXPECT_EQ(json_last_error(), msg);

    ASSERT_EQ(json_parse("[]"), 0);
    EXPECT_STREQ(json_last_error(), "");

    // A successful read clears a message too.
    je_set_error("stale");
    EXPECT_STREQ(json_get("$"), "[]");
    EXPECT_STREQ(json_last_error(), "");
}

TEST(EngineState, DocumentWithoutRootCountsAsNone) {
    unload();
    EXPECT_FALSE(je_doc_ensure());
    EXPECT_STREQ(json_root_type(), "");
    je_doc = yyjson_mut_doc_new(nullptr);
    EXPECT_FALSE(je_doc_ensure());
    je_set_error("kept");
    EXPECT_STREQ(json_root_type(), "");
    EXPECT_STREQ(json_last_error(), "kept");
    EXPECT_STREQ(json_get("$"), "");
    EXPECT_STREQ(json_last_error(), "no document loaded");
    unload();
}

TEST(EngineState, InstallingNullDocFails) {
    ASSERT_EQ(json_parse("[1]"), 0);
    EXPECT_FALSE(je_doc_set_from_imut(nullptr));
    EXPECT_STREQ(json_last_error(), "internal: null doc");
    EXPECT_EQ(get_all(), "[1]");
}

// The buffer is process-wide and never shrinks, so the test starts from a
// released buffer and runs the whole capacity sequence in one go.
TEST(OutputBuffer, CapacitiesDoubleFrom64KiBAndRefuseAbove64MiB) {
    free(je_bigbuf.ptr);
    je_bigbuf = {nullptr, 0};
    EXPECT_EQ(bigbuf_text(), nullptr);

    struct Row {
        const char *name;
        size_t request;
        bool served;
        size_t capacity_after;
    };
    const Row rows[] = {
        {"first small request", 10, true, 65536},
        {"64 KiB needs one byte more", 65536, true, 131072},
        {"smaller request keeps capacity", 100, true, 131072},
        {"exactly the capacity minus one", 131071, true, 131072},
        {"largest accepted request", 67108864, true, 134217728},
        {"one byte past the limit", 67108865, false, 134217728},
        {"huge request does not wrap", SIZE_MAX, false, 134217728},
        {"small request after a refusal", 1, true, 134217728},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_err_clear();
        char *before = je_bigbuf.ptr;
        char *p = je_bigbuf_get(row.request);
        if (row.served) {
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p, je_bigbuf.ptr);
            EXPECT_STREQ(json_last_error(), "");
        } else {
            EXPECT_EQ(p, nullptr);
            EXPECT_EQ(je_bigbuf.ptr, before);
            EXPECT_STREQ(json_last_error(), "output too large (>64MB)");
        }
        EXPECT_EQ(je_bigbuf.cap, row.capacity_after);
    }
    // Growing keeps the bytes already in the buffer.
    ASSERT_TRUE(je_fill_big("kept"));
    ASSERT_NE(je_bigbuf_get(1000), nullptr);
    EXPECT_STREQ(je_bigbuf.ptr, "kept");

    free(je_bigbuf.ptr);
    je_bigbuf = {nullptr, 0};
}

TEST(OutputBuffer, PtrFillAndPublish) {
    ASSERT_TRUE(je_fill_big("abc"));
    EXPECT_STREQ(bigbuf_text(), "abc");
    je_bigbuf.ptr[0] = '\0';
    EXPECT_EQ(bigbuf_text(), nullptr);

    EXPECT_FALSE(je_fill_big(nullptr));
    ASSERT_TRUE(je_fill_big(""));
    EXPECT_EQ(bigbuf_text(), nullptr);

    char *text = static_cast<char *>(malloc(4));
    memcpy(text, "xyz", 4);
    const char *out = je_publish(text, 3);
    EXPECT_EQ(out, je_bigbuf.ptr);
    EXPECT_STREQ(out, "xyz");
    EXPECT_EQ(je_publish(nullptr, 0), je_empty);
    EXPECT_STREQ(bigbuf_text(), "xyz");
}

TEST(TextBuilder, InitialCapacity) {
    struct Row {
        const char *name;
        size_t size;
        size_t capacity;
    } rows[] = {{"zero", 0, 64}, {"below the minimum", 10, 64}, {"the minimum", 64, 64}, {"above", 1000, 1000}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_buf b;
        je_buf_init(&b, row.size);
        ASSERT_NE(b.text, nullptr);
        EXPECT_EQ(b.capacity, row.capacity);
        EXPECT_EQ(b.length, 0u);
        EXPECT_FALSE(b.failed);
        EXPECT_STREQ(b.text, "");
        je_buf_free(&b);
    }
}

TEST(TextBuilder, Growth) {
    struct Row {
        const char *name;
        size_t init;
        size_t first;  // bytes appended first
        size_t second;
        size_t capacity;
    };
    const Row rows[] = {
        {"fills to capacity minus one without growing", 0, 63, 0, 64},
        {"63 + 1 doubles once", 0, 63, 1, 128},
        {"10 + 200 doubles twice", 0, 10, 200, 256},
        {"append of 0 bytes", 0, 10, 0, 64},
        {"doubles from a custom start", 100, 99, 1, 200},
        {"one large append", 64, 0, 1000, 1024},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_buf b;
        je_buf_init(&b, row.init);
        std::string want(row.first, 'a');
        want += std::string(row.second, 'b');
        je_buf_append(&b, std::string(row.first, 'a').data(), row.first);
        je_buf_append(&b, std::string(row.second, 'b').data(), row.second);
        EXPECT_EQ(b.capacity, row.capacity);
        EXPECT_EQ(b.length, want.size());
        EXPECT_EQ(std::string(b.text), want);
        EXPECT_FALSE(b.failed);
        je_buf_free(&b);
    }
}

TEST(TextBuilder, AppendKeepsAnyByteAndFormats) {
    je_buf b;
    je_buf_init(&b, 0);
    je_buf_append(&b, "a\0b", 3);
    EXPECT_EQ(b.length, 3u);
    EXPECT_EQ(std::string(b.text, b.length + 1), std::string("a\0b\0", 4));

    je_buf_appendf(&b, "%s", "");
    EXPECT_EQ(b.length, 3u);
    EXPECT_EQ(b.text[3], '\0');

    je_buf_appendf(&b, "[%d|%s|%zu]", -5, "x", size_t{12});
    EXPECT_EQ(std::string(b.text + 3), "[-5|x|12]");

    std::string big(300, 'z');
    je_buf_appendf(&b, "%s", big.c_str());
    EXPECT_EQ(b.length, 3 + 9 + 300u);
    EXPECT_EQ(b.capacity, 512u);
    EXPECT_EQ(std::string(b.text + 12), big);
    je_buf_free(&b);
    EXPECT_EQ(b.text, nullptr);
    EXPECT_EQ(b.length, 0u);
    EXPECT_EQ(b.capacity, 0u);
    // A released builder has no block: appends are ignored, nothing crashes.
    je_buf_append(&b, "x", 1);
    je_buf_appendf(&b, "x");
    EXPECT_EQ(b.text, nullptr);
}

TEST(TextBuilder, FailedGrowthIsSticky) {
    je_buf b;
    je_buf_init(&b, 0);
    je_buf_append(&b, "keep", 4);
    // No capacity can hold this, so the growth fails before any allocation.
    je_buf_append(&b, "", SIZE_MAX - 10);
    EXPECT_TRUE(b.failed);
    EXPECT_STREQ(b.text, "keep");
    EXPECT_EQ(b.length, 4u);
    EXPECT_EQ(b.capacity, 64u);
    je_buf_append(&b, "x", 1);
    je_buf_appendf(&b, "%s", "y");
    EXPECT_STREQ(b.text, "keep");
    je_buf_free(&b);
    EXPECT_TRUE(b.failed);
}

struct LoadRow {
    const char *name;
    std::string text;
    const char *message;
};

TEST(Loading, ParseFailures) {
    const LoadRow rows[] = {
        {"empty text", "", "parse error: input length is 0 (line 1 col 1)"},
        {"content after the value", "{} x", "parse error: unexpected content after document (line 1 col 4)"},
        {"trailing comma", "{\"a\":1,}", "parse error: trailing comma is not allowed (line 1 col 7)"},
        {"byte order mark", "\xEF\xBB\xBF{}",
         "parse error: UTF-8 byte order mark (BOM) is not supported (line 1 col 1)"},
        {"unclosed object", "{", "parse error: unexpected end of data (line 1 col 2)"},
        {"third line after a two-byte character", "{\n\"a\": 1,\n\"\xC3\xA9\": x}",
         "parse error: unexpected character, expected a JSON value (line 3 col 6)"},
        {"infinite number", "1e999", "parse error: number is infinity when parsed as double (line 1 col 1)"},
        {"invalid UTF-8", "[\"\xFF\"]", "parse error: invalid UTF-8 encoding in string (line 1 col 3)"},
        {"comment", "[1] // c", "parse error: unexpected content after document (line 1 col 5)"},
        {"NaN literal", "NaN", "parse error: unexpected character, expected a JSON value (line 1 col 1)"},
    };
    for (const LoadRow &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_parse("{\"prev\":[1]}"), 0);
        EXPECT_EQ(json_parse(row.text.c_str()), -1);
        EXPECT_STREQ(json_last_error(), row.message);
        EXPECT_STREQ(json_root_type(), "object");
        EXPECT_EQ(get_all(), "{\"prev\":[1]}");
    }
    ASSERT_EQ(json_parse("[0]"), 0);
    EXPECT_EQ(json_parse(nullptr), -1);
    EXPECT_STREQ(json_last_error(), "null input");
    EXPECT_EQ(get_all(), "[0]");
}

TEST(Loading, FailureBeforeAnyLoadKeepsNoDocument) {
    unload();
    EXPECT_EQ(json_parse("[1,]"), -1);
    EXPECT_STREQ(json_root_type(), "");
    EXPECT_STREQ(json_get("$"), "");
    EXPECT_STREQ(json_last_error(), "no document loaded");
}

TEST(Loading, RootTypes) {
    struct Row {
        const char *text;
        const char *type;
    } rows[] = {
        {"{}", "object"},    {"[1, 2]", "array"}, {"\"s\"", "string"},
        {"1.5", "number"},   {"-3", "number"},    {"18446744073709551615", "number"},
        {"1e300", "number"}, {"true", "bool"},    {"false", "bool"},
        {"null", "null"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        ASSERT_EQ(json_parse(row.text), 0);
        EXPECT_STREQ(json_root_type(), row.type);
        EXPECT_STREQ(json_last_error(), "");
    }
}

TEST(Loading, DuplicateKeysAreKeptInOrder) {
    ASSERT_EQ(json_parse(" {\"a\": 1, \"b\": 2, \"a\": 3} "), 0);
    EXPECT_EQ(get_all(), "{\"a\":1,\"b\":2,\"a\":3}");
    EXPECT_STREQ(json_get("$.a"), "1");
}

// Each file row: the bytes written to a file (or none), the path given.
TEST(Loading, FileFailures) {
    std::string dir = je_temp_file("", ".d");
    std::filesystem::remove(je_fs_path(dir));
    ASSERT_TRUE(std::filesystem::create_directory(je_fs_path(dir)));
    std::string empty = je_temp_file("");
    std::string missing = dir + "/missing.json";
    // A sparse file of 2 GiB costs no disk space and is past the size limit.
    std::string huge = je_temp_file("");
    std::filesystem::resize_file(je_fs_path(huge), 2147483648ULL);
    struct Row {
        const char *name;
        const char *path;
        std::string message;
    };
    const Row rows[] = {
        {"null path", nullptr, "null path"},
        {"empty path", "", "empty file path"},
        {"missing file", missing.c_str(), "cannot open file: " + missing},
        {"directory", dir.c_str(), "cannot open file: " + dir},
        {"empty file", empty.c_str(), "parse error: input length is 0 (line 1 col 1)"},
        {"file of 2 GiB", huge.c_str(), "tell failed: " + huge},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_parse("[\"prev\"]"), 0);
        EXPECT_EQ(json_parse_file(row.path), -1);
        EXPECT_EQ(std::string(json_last_error()), row.message);
        EXPECT_EQ(get_all(), "[\"prev\"]");
    }
    unlink(empty.c_str());
    unlink(huge.c_str());
    std::filesystem::remove(je_fs_path(dir));
}

// File names are UTF-8 on every platform, also outside the ANSI code page
// of Windows; a name that is not UTF-8 names no file there.
TEST(Loading, Utf8FileNames) {
    const std::string dir = je_temp_file("", ".d");
    std::filesystem::remove(je_fs_path(dir));
    ASSERT_TRUE(std::filesystem::create_directory(je_fs_path(dir)));
    struct Row {
        const char *name;
        std::string file;
    } rows[] = {
        {"Latin-1 letters", "d\xC3\xA9j\xC3\xA0.json"},
        {"CJK outside the ANSI code page", "\xE6\x96\x87\xE4\xBB\xB6.json"},
        {"both, and a directory", "\xC3\xA9\xE6\x96\x87/caf\xC3\xA9 \xE6\x96\x87.json"},
        {"a character past U+FFFF", "\xF0\x9F\x93\x84.json"},
    };
    ASSERT_TRUE(std::filesystem::create_directory(je_fs_path(dir + "/\xC3\xA9\xE6\x96\x87")));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir + "/" + row.file;
        je_write_file(path, "{\"name\": \"" + row.file + "\"}");
        ASSERT_EQ(json_parse_file(path.c_str()), 0) << json_last_error();
        EXPECT_EQ(get_all(), "{\"name\":\"" + row.file + "\"}");
    }
    ASSERT_EQ(json_parse("[\"prev\"]"), 0);
    const std::string bad = dir + "/d\xE9j\xE0.json";
    EXPECT_EQ(json_parse_file(bad.c_str()), -1);
    EXPECT_EQ(std::string(json_last_error()), "cannot open file: " + bad);
    EXPECT_EQ(get_all(), "[\"prev\"]");
    std::filesystem::remove_all(je_fs_path(dir));
}

TEST(Loading, FilesAreReadWholeUpToTheFirstNul) {
    struct Row {
        const char *name;
        std::string content;
        const char *doc;
    } rows[] = {
        {"text then NUL then other bytes", std::string("{\"a\":[1]}\0garbage{", 18), "{\"a\":[1]}"},
        {"line ends read unchanged", "{\r\n  \"s\": \"x\"\r\n}\r\n", "{\"s\":\"x\"}"},
        {"pretty file", "[\n  1,\n  {\n    \"b\": null\n  }\n]\n", "[1,{\"b\":null}]"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::string path = je_temp_file(row.content);
        EXPECT_EQ(json_parse_file(path.c_str()), 0);
        EXPECT_STREQ(json_last_error(), "");
        EXPECT_EQ(get_all(), row.doc);
        unlink(path.c_str());
    }
    // The reader gives the byte count; the block ends with a NUL after it.
    std::string path = je_temp_file(std::string("ab\0c", 4));
    size_t len = 0;
    char *block = je_read_file(path.c_str(), &len);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(std::string(block, 5), std::string("ab\0c\0", 5));
    free(block);
    unlink(path.c_str());
}

// Loaded texts and the reader's values live in large blocks: from
// JE_BIG_BLOCK_MIN on they are whole huge pages on Linux, and a resize
// within the same pages keeps the block.
TEST(LargeBlocks, KeepTheirBytesThroughEveryResize) {
    constexpr size_t min = JE_BIG_BLOCK_MIN;
    constexpr size_t page = size_t{2} << 20;
    struct Row {
        const char *name;
        size_t from, to;
    } rows[] = {
        {"small to small", 100, 5000},
        {"small to large", 5000, min},
        {"large, grown within its pages", min, page},
        {"large, grown past its pages", page, page + 1},
        {"large to small", min + 1, 100},
        {"large, shrunk within its pages", page + 10, page + 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto *p = static_cast<unsigned char *>(je_big_alloc(row.from));
        ASSERT_NE(p, nullptr);
        for (size_t i = 0; i < row.from; ++i) p[i] = static_cast<unsigned char>(i * 7);
        auto *q = static_cast<unsigned char *>(je_big_realloc(p, row.from, row.to));
        ASSERT_NE(q, nullptr);
        size_t kept = std::min(row.from, row.to);
        size_t differ = 0;
        for (size_t i = 0; i < kept; ++i) differ += q[i] != static_cast<unsigned char>(i * 7);
        EXPECT_EQ(differ, 0u);
        q[row.to - 1] = 1;  // the whole new size is usable
#if defined(__linux__)
        if (row.to >= min) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(q) % page, 0u);
        }
#endif
        free(q);
    }
    void *fresh = je_big_realloc(nullptr, 0, 10);
    EXPECT_NE(fresh, nullptr);
    free(fresh);
}

TEST(Loading, FileParseErrorsHaveLineAndColumn) {
    std::string path = je_temp_file("[\n1,\n\xE2\x82\xAC 2]");
    EXPECT_EQ(json_parse_file(path.c_str()), -1);
    EXPECT_STREQ(json_last_error(), "parse error: unexpected character, expected a JSON value (line 3 col 1)");
    unlink(path.c_str());
}

TEST(ParseVal, Cases) {
    ASSERT_EQ(json_parse("{\"root\":true}"), 0);
    struct Row {
        const char *name;
        const char *text;
        const char *written;  // null: fails
        const char *message;
    } rows[] = {
        {"number with spaces", "  42 \n", "42", nullptr},
        {"container", " {\"a\" : [1, \"\\u00e9\"]} ", "{\"a\":[1,\"\xC3\xA9\"]}", nullptr},
        {"two numbers", "1 2", nullptr, "unexpected content after document"},
        {"empty text", "", nullptr, "input length is 0"},
        {"lone brace", "{", nullptr, "unexpected end of data"},
        {"null text", nullptr, nullptr, "null value"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_set_error("untouched");
        const char *msg = "not set";
        yyjson_mut_val *v = je_parse_val(je_doc_mut(), row.text, &msg);
        EXPECT_STREQ(json_last_error(), "untouched");
        if (row.written) {
            ASSERT_NE(v, nullptr);
            EXPECT_STREQ(msg, "not set");
            size_t len = 0;
            char *text = je_write_val(v, &len);
            EXPECT_STREQ(text, row.written);
            free(text);
        } else {
            EXPECT_EQ(v, nullptr);
            EXPECT_STREQ(msg, row.message);
        }
        // The value is detached: the document is as it was.
        EXPECT_EQ(get_all(), "{\"root\":true}");
    }
}

std::vector<std::string> list_dir(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// y_ files must load, n_ files must fail and keep the previous document,
// i_ files may go either way. Whatever loads must also be writable again.
TEST(Corpus, JsonTestSuite) {
    std::string data = je_data_dir();
    if (data.empty()) GTEST_SKIP() << "shared data directory " << JE_DATA_DIR << " is absent";
    std::string dir = data + "/json-test-suite/test_parsing";
    std::vector<std::string> files = list_dir(dir);
    if (files.empty()) GTEST_SKIP() << "no corpus files in " << dir;
    const std::string sentinel = "[\"sentinel\",{\"k\":0}]";
    size_t counts[3] = {0, 0, 0};
    for (const std::string &name : files) {
        SCOPED_TRACE(name);
        const char kind = name[0];
        if (name.size() < 2 || name[1] != '_' || (kind != 'y' && kind != 'n' && kind != 'i')) continue;
        ASSERT_EQ(json_parse(sentinel.c_str()), 0);
        const int rc = json_parse_file((dir + "/" + name).c_str());
        const std::string err = json_last_error();
        if (kind == 'y' || rc == 0) {
            EXPECT_EQ(rc, 0) << err;
            EXPECT_EQ(err, "");
            EXPECT_STRNE(json_get("$"), "") << json_last_error();
        }
        if (name == "n_multidigit_number_then_00.json") {
            // The file is 123 and a NUL byte: a text ends at its first NUL,
            // so the engine sees 123 and loads it.
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(get_all(), "123");
        } else if (kind == 'n' || rc != 0) {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(err.rfind("parse error: ", 0), 0u) << err;
            EXPECT_EQ(get_all(), sentinel);
        }
        ++counts[kind == 'y' ? 0 : kind == 'n' ? 1 : 2];
    }
    EXPECT_GT(counts[0], 0u);
    EXPECT_GT(counts[1], 0u);
}

TEST(CoreDepth, MillionLevelDocumentsLoadAndReadBack) {
    struct Row {
        const char *name;
        std::string text;
        const char *type;
    };
    const Row rows[] = {
        {"arrays", je_nested(JE_TEST_DEEP, "[", "]"), "array"},
        {"objects", je_nested(JE_TEST_DEEP, "{\"a\":", "}", "1"), "object"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_run_small_stack([&] {
            ASSERT_EQ(json_parse(row.text.c_str()), 0) << json_last_error();
            EXPECT_STREQ(json_root_type(), row.type);
            std::string all = json_get("$");
            EXPECT_EQ(all.size(), row.text.size());
            EXPECT_TRUE(all == row.text);
            // An unterminated deep text fails cleanly and keeps the document.
            std::string open(JE_TEST_DEEP, '[');
            EXPECT_EQ(json_parse(open.c_str()), -1);
            EXPECT_EQ(std::string(json_last_error()).rfind("parse error: unexpected end of data", 0), 0u);
            EXPECT_STREQ(json_root_type(), row.type);
        });
    }
    std::string path = je_temp_file(rows[0].text);
    je_run_small_stack([&] {
        EXPECT_EQ(json_parse_file(path.c_str()), 0);
        EXPECT_EQ(std::string(json_get("$")).size(), rows[0].text.size());
    });
    unlink(path.c_str());
}

}  // namespace
