// The query language: lexer tokens, parsed programs, parse errors, queries
// over a small store document, filters and the three-way comparison,
// reported paths near their length limit, the result table and its
// accessors across calls, depth safety and the query command.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "../src/query/je_query.h"
#include "je_test_util.h"

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

const char *const store_doc =
    "{\"store\":{\"book\":[{\"title\":\"A\",\"price\":8},{\"title\":\"B\",\"price\":12,\"tags\":[\"x\",\"y\"]}],"
    "\"name\":\"S\"}}";
const char *const book0 = "{\"title\":\"A\",\"price\":8}";
const char *const book1 = "{\"title\":\"B\",\"price\":12,\"tags\":[\"x\",\"y\"]}";

void unload() { je_doc_replace(nullptr); }

// Every row of the result table as (path, value).
Rows table() {
    Rows rows;
    for (int i = 0; i < json_query_count(); ++i)
        rows.emplace_back(json_query_field(i, "path"), json_query_field(i, "value"));
    return rows;
}

// ---- lexer --------------------------------------------------------------------

const char *tok_name(je_tok kind) {
    static const char *const names[] = {"END", "$",   ".",   "[",  "]",  "(", ")",  "|", "?",
                                        "id",  "num", "str", "==", "!=", "<", "<=", ">", ">="};
    return names[kind];
}

// The tokens of text, rendered one per word ("id(a)", "num(3)", "str(x)"),
// up to the end (read twice, to show the end repeats) or the first error,
// shown as "ERR(message)".
std::string lex_all(const char *text) {
    je_parser p{};
    p.pos = text;
    std::string out;
    int ends = 0;
    while (ends < 2) {
        if (!out.empty()) out += ' ';
        if (!je_p_next(&p)) return out + "ERR(" + json_last_error() + ")";
        out += tok_name(p.kind);
        char num[64];
        switch (p.kind) {
            case JE_TOK_IDENT: out += std::string("(") + p.ident + ")"; break;
            case JE_TOK_STRING: out += std::string("(") + p.str + ")"; break;
            case JE_TOK_NUMBER:
                // The C runtimes differ in how %g shows a NaN's sign.
                if (std::isnan(p.num))
                    snprintf(num, sizeof num, "(%snan)", std::signbit(p.num) ? "-" : "");
                else
                    snprintf(num, sizeof num, "(%g)", p.num);
                out += num;
                break;
            case JE_TOK_END: ++ends; break;
            default: break;
        }
        if (p.kind != JE_TOK_NUMBER) {
            EXPECT_EQ(p.num, 0.0) << text;
        }
    }
    return out;
}

TEST(QueryLexer, Tokens) {
    struct Row {
        const char *name;
        const char *text;
        const char *tokens;
    };
    const Row rows[] = {
        {"empty text", "", "END END"},
        {"only white space", " \t\r\n\x01 ", "END END"},
        {"path", "$.a[0]", "$ . id(a) [ num(0) ] END END"},
        {"path with spaces", "$ . a [ 0 ]", "$ . id(a) [ num(0) ] END END"},
        {"all punctuation", "$.[]()|?", "$ . [ ] ( ) | ? END END"},
        {"comparisons", "== != < <= > >=", "== != < <= > >= END END"},
        {"less-equal without spaces", "a<=b", "id(a) <= id(b) END END"},
        {"less then lone equals", "a< =b", "id(a) < ERR(query: expected '==' at: =b)"},
        {"equals then greater", "=>", "ERR(query: expected '==' at: =>)"},
        {"equals filled with 16 bytes", "=0123456789abcdefghij", "ERR(query: expected '==' at: =0123456789abcde)"},
        {"bang alone", "!x", "ERR(query: unexpected '!' at: !x)"},
        {"minus without number", "-x", "ERR(query: bad number at: -x)"},
        {"minus then space", "- 5", "ERR(query: bad number at: - 5)"},
        {"ampersand", "&&", "ERR(query: unexpected character '&')"},
        {"plus", "+1", "ERR(query: unexpected character '+')"},
        {"single quote", "'a'", "ERR(query: unexpected character ''')"},
        {"delete byte", "\x7f", "ERR(query: unexpected character '\x7f')"},
        {"byte above 0x7f", "\xc3\xa9", "ERR(query: unexpected character '\xc3')"},
        {"decimal forms", "12 -3.5 1e5", "num(12) num(-3.5) num(100000) END END"},
        {"hexadecimal", "0x1f", "num(31) END END"},
        {"signed infinity and nan", "-inf -nan", "num(-inf) num(-nan) END END"},
        {"unsigned infinity is a name", "inf nan", "id(inf) id(nan) END END"},
        {"number ends where strtod stops", "1a", "num(1) id(a) END END"},
        {"leading dot is not a number", ".5", ". num(5) END END"},
        {"words are identifiers", "map length true false null _x9",
         "id(map) id(length) id(true) id(false) id(null) id(_x9) END END"},
        {"escaped quote", "\"a\\\"b\" ]", "str(a\"b) ] END END"},
        {"escaped backslash then n", "\"\\\\n\"", "str(\\n) END END"},
        {"short escapes", "\"\\/\\b\\f\\n\\r\\t\"", "str(/\b\f\n\r\t) END END"},
        {"control and high bytes copied", "\"\x01\xc3\xa9\"", "str(\x01\xc3\xa9) END END"},
        {"two-byte escape", "\"\\u00e9\"", "str(\xc3\xa9) END END"},
        {"three-byte escape, upper case", "\"\\u20AC\"", "str(\xe2\x82\xac) END END"},
        {"surrogates stay apart", "\"\\ud83d\\ude00\"", "str(\xed\xa0\xbd\xed\xb8\x80) END END"},
        {"escaped NUL ends the text", "\"a\\u0000b\" .", "str(a) . END END"},
        {"short unicode escape", "\"\\u12\"", "ERR(query: bad \\u escape)"},
        {"text ends in unicode escape", "\"\\u12", "ERR(query: bad \\u escape)"},
        {"unknown escape", "\"\\q\"", "ERR(query: bad escape)"},
        {"unterminated", "\"abc", "ERR(query: unterminated string)"},
        {"ends after backslash", "\"abc\\", "ERR(query: unterminated string)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(lex_all(row.text), row.tokens);
    }
}

TEST(QueryLexer, LongTextsAreCutButConsumedWhole) {
    std::string lit = "\"" + std::string(600, 's') + "\"]";
    je_parser p{};
    p.pos = lit.c_str();
    ASSERT_TRUE(je_p_next(&p));
    EXPECT_EQ(p.kind, JE_TOK_STRING);
    EXPECT_EQ(std::string(p.str), std::string(511, 's'));
    ASSERT_TRUE(je_p_next(&p));
    EXPECT_EQ(p.kind, JE_TOK_RBRACKET);

    // A multi-byte sequence can be cut at the limit.
    std::string cut = "\"" + std::string(510, 's') + "\\u20ac\"";
    p = je_parser{};
    p.pos = cut.c_str();
    ASSERT_TRUE(je_p_next(&p));
    EXPECT_EQ(std::string(p.str), std::string(510, 's') + "\xe2");

    std::string ident(200, 'q');
    ident += " |";
    p = je_parser{};
    p.pos = ident.c_str();
    ASSERT_TRUE(je_p_next(&p));
    EXPECT_EQ(p.kind, JE_TOK_IDENT);
    EXPECT_EQ(std::string(p.ident), std::string(127, 'q'));
    ASSERT_TRUE(je_p_next(&p));
    EXPECT_EQ(p.kind, JE_TOK_PIPE);
}

// ---- parser ----------------------------------------------------------------------

std::string render_steps(const je_qstep *steps, int32_t n);

std::string render_operand(const je_operand *op) {
    if (op->kind == JE_OPND_PATH) return "$" + render_steps(op->steps, op->nsteps);
    char num[64];
    switch (op->lit) {
        case JE_LIT_NUMBER: snprintf(num, sizeof num, "num(%g)", op->num); return num;
        case JE_LIT_STRING: return std::string("str(") + op->str + ")";
        case JE_LIT_BOOL: return op->bval ? "true" : "false";
        case JE_LIT_NULL: return "null";
    }
    return "?";
}

// Steps as ".name", "[i]", "[]", "#len", "[?L]" and "[?L op R]".
std::string render_steps(const je_qstep *steps, int32_t n) {
    static const char *const ops[] = {"==", "!=", "<", "<=", ">", ">="};
    std::string out;
    for (int32_t i = 0; i < n; ++i) {
        const je_qstep &s = steps[i];
        switch (s.kind) {
            case JE_QS_FIELD: out += std::string(".") + s.name; break;
            case JE_QS_INDEX: out += "[" + std::to_string(s.index) + "]"; break;
            case JE_QS_WILDCARD: out += "[]"; break;
            case JE_QS_LENGTH: out += "#len"; break;
            case JE_QS_FILTER:
                out += "[?" + render_operand(s.left);
                if (s.has_cmp)
                    out += std::string(" ") + ops[s.op] + " " + render_operand(s.right);
                else
                    EXPECT_EQ(s.right, nullptr);
                out += "]";
                break;
        }
    }
    return out;
}

std::string render_prog(const je_prog *prog) {
    std::string out;
    for (int32_t i = 0; i < prog->count; ++i) {
        if (i) out += " | ";
        const je_stage &st = prog->items[i];
        if (st.kind == JE_STAGE_MAP)
            out += "map(" + render_prog(st.sub) + ")";
        else
            out += "$" + render_steps(st.steps, st.nsteps);
    }
    return out;
}

// The rendered program of a whole query, or "ERR(message)".
std::string parse_query(const char *text) {
    je_parser p{};
    p.pos = text;
    je_prog prog{};
    je_prog_guard guard(&prog);
    if (!je_p_next(&p) || !je_parse_prog(&p, &prog)) return std::string("ERR(") + json_last_error() + ")";
    EXPECT_NE(p.kind, JE_TOK_PIPE);
    std::string out = render_prog(&prog);
    if (p.kind != JE_TOK_END) out += " +trailing";
    return out;
}

TEST(QueryParser, Programs) {
    struct Row {
        const char *name;
        const char *query;
        const char *program;
    };
    const Row rows[] = {
        {"root alone", "$", "$"},
        {"dotted fields", "$.a.b", "$.a.b"},
        {"field right after $", "$a.b", "$.a.b"},
        {"bare head field", "a.b", "$.a.b"},
        {"spaces everywhere", " $ . a . b ", "$.a.b"},
        {"dot start", ".a[0]", "$.a[0]"},
        {"dot before bracket", ".a.[0]", "$.a[0]"},
        {"bare head then index", "a[0]", "$.a[0]"},
        {"wildcard", "$[]", "$[]"},
        {"dotted wildcard", "$.[]", "$[]"},
        {"filter with comparison", "$.items[?.price > 10]", "$.items[?$.price > num(10)]"},
        {"filter without comparison", "$.items[?active]", "$.items[?$.active]"},
        {"filter on string literal", "$[?.a == \"x\"]", "$[?$.a == str(x)]"},
        {"filter with literals both sides", "$[?null != false]", "$[?null != false]"},
        {"literal true operand", "$[?true]", "$[?true]"},
        {"nested filter operand", "$[?.a[?.b <= 1]]", "$[?$.a[?$.b <= num(1)]]"},
        {"map names a field in an operand", "$[?map]", "$[?$.map]"},
        {"length as head of operand", "$[?length >= 2]", "$[?$#len >= num(2)]"},
        {"length stage", "$.a | length", "$.a | $#len"},
        {"length step", "$.a.length", "$.a#len"},
        {"length after $", "$length", "$#len"},
        {"reserved words after a dot", "$.true.null.map.false", "$.true.null.map.false"},
        {"any identifier after $", "$true", "$.true"},
        {"map stage", "map(.name)", "map($.name)"},
        {"map of a pipeline", "$.a | map(.b | length)", "$.a | map($.b | $#len)"},
        {"nested maps", "map(map($))", "map(map($))"},
        {"negative index", "$[-1]", "$[-1]"},
        {"index past 32 bits selects nothing", "$[4294967296]", "$[-1]"},
        {"fractional index truncates", "$[2.7]", "$[2]"},
        {"negative fraction truncates toward zero", "$[-2.7]", "$[-2]"},
        {"hexadecimal index", "$.[0x10]", "$[16]"},
        {"nan index selects nothing", "$[-nan]", "$[-1]"},
        {"number literal as stage", "42", "$"},
        {"boolean literal as stage", "$.a | true", "$.a | $"},
        {"map result piped on", "map(.a) | [0]", "map($.a) | $[0]"},
        {"map result cannot be indexed directly", "map(.a)[0]", "map($.a) +trailing"},
        {"comparison after a path ends it", "$.a == 1", "$.a +trailing"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(parse_query(row.query), row.program);
    }
}

TEST(QueryParser, LongNamesAreCutAndLongPipelinesGrow) {
    std::string q = "$." + std::string(200, 'n');
    EXPECT_EQ(parse_query(q.c_str()), "$." + std::string(127, 'n'));

    std::string pipes = "$";
    std::string want = "$";
    for (int i = 0; i < 40; ++i) {
        pipes += " | .k" + std::to_string(i);
        want += " | $.k" + std::to_string(i);
    }
    EXPECT_EQ(parse_query(pipes.c_str()), want);
}

TEST(QueryParser, Errors) {
    ASSERT_EQ(json_parse(store_doc), 0);
    struct Row {
        const char *name;
        const char *query;
        const char *message;
    };
    const char *const operand = "query: operand must start with '$', '.' or a literal";
    const Row rows[] = {
        {"map without parenthesis", "map .a", "query: expected '(' after 'map'"},
        {"map not closed", "map(.a", "query: expected ')' after map expression"},
        {"empty map", "map()", operand},
        {"dot at the end", "$.", "query: expected field name after '.'"},
        {"dot then number", "$.1", "query: expected field name after '.'"},
        {"dot bracket name", "$.[x]", "query: expected index or ']' after '.'"},
        {"dot bracket index unclosed", "$.[0", "query: expected ']' after index"},
        {"index unclosed", "$[0", "query: expected ']' after index"},
        {"index then name", "$[0 a]", "query: expected ']' after index"},
        {"bracket name", "$[x]", "query: expected index or filter in '['"},
        {"bracket string", "$[\"x\"]", "query: expected index or filter in '['"},
        {"single equals in filter", "$[?.a = 1]", "query: expected '==' at: = 1]"},
        {"comparison without right operand", "$[?.a >]", operand},
        {"filter without operand", "$[?]", operand},
        {"two operands without comparison", "$[?.a 1]", "query: expected ']' after filter"},
        {"two comparisons", "$[?.a == 1 == 2]", "query: expected ']' after filter"},
        {"filter unclosed", "$[?.a", "query: expected ']' after filter"},
        {"leading pipe", "| $", operand},
        {"only spaces", "   ", operand},
        {"pipe at the end", "$.a |", operand},
        {"closing parenthesis first", ")", operand},
        {"comparison first", "== 1", operand},
        {"trailing text", "$.a)x", "query: trailing garbage near: x"},
        {"trailing comparison", "$.a ==", "query: trailing garbage near: "},
        {"indexed map", "map(.a)[0]", "query: trailing garbage near: 0]"},
        {"second root", "$ $", "query: trailing garbage near: "},
        {"trailing text cut at 16 bytes", "$ ) 0123456789abcdefghij", "query: trailing garbage near:  0123456789abcde"},
        {"lexer message passes through", "$[?.a => 1]", "query: expected '==' at: => 1]"},
        {"lexer error in a map", "map(.a & .b)", "query: unexpected character '&'"},
        {"empty query", "", "empty query"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_query("$"), 0);
        EXPECT_EQ(json_query(row.query), -1);
        EXPECT_STREQ(json_last_error(), row.message);
        EXPECT_EQ(json_query_count(), 0);
    }
    EXPECT_EQ(json_query(nullptr), -1);
    EXPECT_STREQ(json_last_error(), "empty query");
}

TEST(QueryParser, NestingIsBounded) {
    // JE_QMAX_NEST levels of map stages and of filter operands still parse
    // and run; one more, or thousands, fail with the bound's message.
    auto maps = [](int n) {
        std::string q;
        for (int i = 0; i < n; ++i) q += "map(";
        q += "$";
        for (int i = 0; i < n; ++i) q += ")";
        return q;
    };
    auto filters = [](int n) {
        std::string q = "$";
        for (int i = 0; i < n; ++i) q += "[?.a";
        for (int i = 0; i < n; ++i) q += "]";
        return q;
    };
    je_run_small_stack([&] {
        std::string nested = je_nested(JE_QMAX_NEST, "[", "]", "1");
        ASSERT_EQ(json_parse(nested.c_str()), 0);
        ASSERT_EQ(json_query(maps(JE_QMAX_NEST).c_str()), 0) << json_last_error();
        EXPECT_EQ(table(), (Rows{{"$", nested}}));
        ASSERT_EQ(json_query(filters(JE_QMAX_NEST).c_str()), 0) << json_last_error();
        for (int n : {JE_QMAX_NEST + 1, 100000}) {
            SCOPED_TRACE(n);
            EXPECT_EQ(json_query(maps(n).c_str()), -1);
            EXPECT_STREQ(json_last_error(), "query: nesting too deep");
            EXPECT_EQ(json_query(filters(n).c_str()), -1);
            EXPECT_STREQ(json_last_error(), "query: nesting too deep");
        }
        // Both kinds count towards the same bound.
        std::string mixed;
        for (int i = 0; i < JE_QMAX_NEST; ++i) mixed += "map(";
        mixed += "$[?.a]";
        for (int i = 0; i < JE_QMAX_NEST; ++i) mixed += ")";
        EXPECT_EQ(json_query(mixed.c_str()), -1);
        EXPECT_STREQ(json_last_error(), "query: nesting too deep");
    });
}

TEST(QueryParser, LiteralValues) {
    struct Row {
        const char *name;
        je_lit_kind lit;
        double num;
        const char *str;
        bool is_real;
        const char *text;
    };
    const Row rows[] = {
        {"integral real becomes an integer", JE_LIT_NUMBER, 3.0, "", false, "3"},
        {"negative zero becomes 0", JE_LIT_NUMBER, -0.0, "", false, "0"},
        {"smallest signed 64-bit", JE_LIT_NUMBER, -9223372036854775808.0, "", false, "-9223372036854775808"},
        {"fraction stays real", JE_LIT_NUMBER, 3.5, "", true, "3.5"},
        {"huge stays real", JE_LIT_NUMBER, 1e300, "", true, "1e300"},
        {"just past signed 64-bit stays real", JE_LIT_NUMBER, 9223372036854775808.0, "", true, "9223372036854776000.0"},
        {"string", JE_LIT_STRING, 0, "a\"b", false, "\"a\\\"b\""},
        {"boolean", JE_LIT_BOOL, 0, "", false, "true"},
        {"null", JE_LIT_NULL, 0, "", false, "null"},
    };
    je_pool_guard pool;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_operand op{};
        op.kind = JE_OPND_LITERAL;
        op.lit = row.lit;
        op.num = row.num;
        op.bval = true;
        je_copy_field(op.str, sizeof op.str, row.str);
        yyjson_mut_val *v = je_make_lit(&op, &pool.pool);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(yyjson_mut_is_real(v), row.is_real);
        size_t len = 0;
        char *text = je_write_val(v, &len);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text, len), row.text);
        free(text);
    }
    je_operand nan{};
    nan.num = NAN;
    yyjson_mut_val *v = je_make_lit(&nan, &pool.pool);
    ASSERT_TRUE(yyjson_mut_is_real(v));
    EXPECT_TRUE(std::isnan(yyjson_mut_get_real(v)));
    v = je_make_numdoc(18446744073709551615ull, &pool.pool);
    ASSERT_TRUE(yyjson_mut_is_uint(v));
    EXPECT_EQ(yyjson_mut_get_uint(v), 18446744073709551615ull);
}

// ---- evaluation -------------------------------------------------------------------

struct QueryRow {
    const char *name;
    const char *query;
    Rows rows;
};

void run_rows(const char *doc, const std::vector<QueryRow> &rows) {
    ASSERT_EQ(json_parse(doc), 0) << json_last_error();
    for (const QueryRow &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(json_query(row.query), 0) << json_last_error();
        EXPECT_STREQ(json_last_error(), "");
        EXPECT_EQ(table(), row.rows);
    }
    // Queries only read: the document is unchanged after all of them.
    EXPECT_STREQ(json_get("$"), doc);
}

TEST(QueryEval, StoreDocument) {
    const std::string books = std::string("[") + book0 + "," + book1 + "]";
    run_rows(
        store_doc,
        {
            {"root", "$", {{"$", store_doc}}},
            {"index and field", "$.store.book[1].title", {{"$.store.book[1].title", "\"B\""}}},
            {"index past the end", "$.store.book[2]", {}},
            {"negative index", "$.store.book[-1]", {}},
            {"index on an object", "$.store[0]", {}},
            {"field on an array", "$.store.book.title", {}},
            {"wildcard over an array",
             "$.store.book[].title",
             {{"$.store.book[0].title", "\"A\""}, {"$.store.book[1].title", "\"B\""}}},
            {"wildcard over an object", "$.store[]", {{"$.store.book", books}, {"$.store.name", "\"S\""}}},
            {"wildcards in a row",
             "$.store.book[].tags[]",
             {{"$.store.book[1].tags[0]", "\"x\""}, {"$.store.book[1].tags[1]", "\"y\""}}},
            {"wildcard on a string", "$.store.name[]", {}},
            {"filter with comparison", "$.store.book[?.price > 10].title", {{"$.store.book[1].title", "\"B\""}}},
            {"filter on truth", "$.store.book[?.price]", {{"$.store.book[0]", book0}, {"$.store.book[1]", book1}}},
            {"filter on presence", "$.store.book[?.tags]", {{"$.store.book[1]", book1}}},
            {"unresolved operand fails every operator", "$.store.book[?.missing != 1]", {}},
            {"length in a filter", "$.store.book[?.tags.length == 2]", {{"$.store.book[1]", book1}}},
            {"string comparison", "$.store.book[?.title < \"B\"]", {{"$.store.book[0]", book0}}},
            {"filter on an object tests it",
             "$.store.book[?.price >= 8][?.price < 10].title",
             {{"$.store.book[0].title", "\"A\""}}},
            {"filter on a string with $", "$.store.name[?$ == \"S\"]", {{"$.store.name", "\"S\""}}},
            {"failing filter on a non-array", "$.store.name[?$ == \"T\"]", {}},
            {"length stage", "$.store.book | length", {{"$.store.book", "2"}}},
            {"length of a string", "$.store.name.length", {{"$.store.name", "1"}}},
            {"length of a number", "$.store.book[0].price.length", {{"$.store.book[0].price", "0"}}},
            {"length of an object", "$.store.length", {{"$.store", "2"}}},
            {"length per input", "$.store[].length", {{"$.store.book", "2"}, {"$.store.name", "1"}}},
            {"map", "$.store.book | map(.price)", {{"$.store.book", "[8,12]"}}},
            {"map of an object", "$.store | map(.x)", {}},
            {"map with several values per element", "$.store.book | map(.tags[])", {{"$.store.book", "[\"x\",\"y\"]"}}},
            {"map with nothing per element", "$.store.book | map(.x)", {{"$.store.book", "[]"}}},
            {"map of a pipeline", "$.store.book | map(.tags | length)", {{"$.store.book", "[2]"}}},
            {"nested map", "$.store.book | map(.tags | map($))", {{"$.store.book", "[[\"x\",\"y\"]]"}}},
            {"map result piped on", "$.store.book | map(.title) | [1]", {{"$.store.book[1]", "\"B\""}}},
            {"map result measured", "$.store.book | map(.title) | length", {{"$.store.book", "2"}}},
            {"stages are breadth-first",
             "$.store.book[] | .title",
             {{"$.store.book[0].title", "\"A\""}, {"$.store.book[1].title", "\"B\""}}},
            {"literal as a stage passes through", "$.store.name | 42", {{"$.store.name", "\"S\""}}},
            {"literal as the whole query", "\"x\"", {{"$", store_doc}}},
            {"bare head path", "store.name", {{"$.store.name", "\"S\""}}},
            {"member named like a reserved word", "$.store.null", {}},
        });
}

TEST(QueryEval, FilterOperatorsAndOperands) {
    run_rows("[1,2,3]", {
                            {"==", "$[?$ == 2]", {{"$[1]", "2"}}},
                            {"!=", "$[?$ != 2]", {{"$[0]", "1"}, {"$[2]", "3"}}},
                            {"<", "$[?$ < 2]", {{"$[0]", "1"}}},
                            {"<=", "$[?$ <= 2]", {{"$[0]", "1"}, {"$[1]", "2"}}},
                            {">", "$[?$ > 2]", {{"$[2]", "3"}}},
                            {">=", "$[?$ >= 2]", {{"$[1]", "2"}, {"$[2]", "3"}}},
                            {"literal on the left", "$[?2 < $]", {{"$[2]", "3"}}},
                            {"literals only", "$[?1 == true]", {{"$[0]", "1"}, {"$[1]", "2"}, {"$[2]", "3"}}},
                            {"real literal", "$[?$ == 2.0]", {{"$[1]", "2"}}},
                        });

    const char *doc = "[{\"a\":{\"b\":[10,20]},\"s\":\"xy\"},{\"a\":5},{\"a\":null},{\"s\":\"\\u0000z\"}]";
    run_rows(
        doc,
        {
            {"path through index", "$[?.a.b[1] == 20]", {{"$[0]", "{\"a\":{\"b\":[10,20]},\"s\":\"xy\"}"}}},
            {"index out of range", "$[?.a.b[5]]", {}},
            {"negative index", "$[?.a.b[-1]]", {}},
            {"wildcard leaves it unresolved", "$[?.a.b[]]", {}},
            {"nested filter leaves it unresolved", "$[?.a.b[?$]]", {}},
            {"length ends the walk",
             "$[?.s.length.zz == 2]",
             {{"$[0]", "{\"a\":{\"b\":[10,20]},\"s\":\"xy\"}"}, {"$[3]", "{\"s\":\"\\u0000z\"}"}}},
            {"length counts every byte", "$[?.s.length == 2][?.s > \"\"].a", {{"$[0].a", "{\"b\":[10,20]}"}}},
            {"$ starts from the element", "$[?$.a == 5]", {{"$[1]", "{\"a\":5}"}}},
            {"bare identifier", "$[?a == 5]", {{"$[1]", "{\"a\":5}"}}},
            {"both sides start from the element",
             "$[?.a == .a]",
             {{"$[0]", "{\"a\":{\"b\":[10,20]},\"s\":\"xy\"}"}, {"$[1]", "{\"a\":5}"}, {"$[2]", "{\"a\":null}"}}},
            {"null member resolves", "$[?.a == null]", {{"$[2]", "{\"a\":null}"}}},
            {"missing member does not equal null", "$[?.zz == null]", {}},
            {"missing right operand", "$[?.a != .zz]", {}},
            {"object above string", "$[?.a > \"a\"]", {{"$[0]", "{\"a\":{\"b\":[10,20]},\"s\":\"xy\"}"}}},
            {"string compares up to its NUL", "$[?.s == \"\"][?.s.length == 2]", {{"$[3]", "{\"s\":\"\\u0000z\"}"}}},
        });
}

TEST(QueryEval, Truthiness) {
    run_rows("[0,0.0,-0.0,\"\",null,false,1,-1,0.5,\"0\",\" \",[],{},true,18446744073709551615]",
             {{"filter without comparison",
               "$[?$]",
               {{"$[6]", "1"},
                {"$[7]", "-1"},
                {"$[8]", "0.5"},
                {"$[9]", "\"0\""},
                {"$[10]", "\" \""},
                {"$[11]", "[]"},
                {"$[12]", "{}"},
                {"$[13]", "true"},
                {"$[14]", "18446744073709551615"}}}});
}

// A mutable value parsed from text, kept alive in docs.
yyjson_mut_val *mval(const char *text, std::deque<je_mut_doc_guard> &docs) {
    yyjson_doc *d = yyjson_read(text, strlen(text), 0);
    EXPECT_NE(d, nullptr) << text;
    docs.emplace_back(yyjson_doc_mut_copy(d, nullptr));
    yyjson_doc_free(d);
    return yyjson_mut_doc_get_root(docs.back().d);
}

TEST(QueryEval, ThreeWayComparison) {
    struct Row {
        const char *a;
        const char *b;
        int sign;
    };
    const Row rows[] = {
        {"1", "true", 0},
        {"0", "false", 0},
        {"true", "0.5", 1},
        {"2", "2.0", 0},
        {"18446744073709551615", "-1", 1},
        {"-5", "3", -1},
        {"null", "false", -1},
        {"null", "null", 0},
        {"5", "\"a\"", -1},
        {"\"b\"", "\"abc\"", 1},
        {"\"\"", "\"a\"", -1},
        {"\"a\"", "\"a\"", 0},
        {"\"\\u00e9\"", "\"z\"", 1},
        {"\"a\\u0000b\"", "\"a\\u0000c\"", 0},
        {"\"z\"", "[]", -1},
        {"[1,2]", "[3,4]", 0},
        {"[1]", "[[],[]]", -1},
        {"{\"a\":1}", "[]", 1},
        {"{}", "{\"a\":1}", -1},
        {"{\"a\":1}", "{\"b\":[1,2,3]}", 0},
    };
    std::deque<je_mut_doc_guard> docs;
    auto sign = [](int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
        yyjson_mut_val *a = mval(row.a, docs), *b = mval(row.b, docs);
        EXPECT_EQ(sign(je_qcmp(a, b)), row.sign);
        EXPECT_EQ(sign(je_qcmp(b, a)), -row.sign);
    }
    // NaN compares equal to every number and boolean.
    yyjson_mut_val nan{}, one{};
    yyjson_mut_set_real(&nan, NAN);
    yyjson_mut_set_uint(&one, 1);
    EXPECT_EQ(je_qcmp(&nan, &one), 0);
    EXPECT_EQ(je_qcmp(&one, &nan), 0);
}

TEST(QueryEval, ReportedPaths) {
    run_rows("{\"a.b\":1,\"\":2,\"x y[0]\":3,\"a\\u0000b\":4,\"d\":5,\"d\":6}",
             {{"keys are written raw, up to a NUL",
               "$[]",
               {{"$.a.b", "1"}, {"$.", "2"}, {"$.x y[0]", "3"}, {"$.a", "4"}, {"$.d", "5"}, {"$.d", "6"}}},
              {"a field finds the first of equal keys", "$.d", {{"$.d", "5"}}}});

    // Long keys: a member piece is added while path + key + 2 <= 4096, an
    // index piece while the path is at most 4072 characters long.
    struct Row {
        const char *name;
        size_t key_len;
        std::string value;
        const char *query;
        std::string tail;  // expected path after "$." and the key
    };
    const Row rows[] = {
        {"member piece fits exactly", 4093, "[{\"b\":1}]", "$[][0].b", ""},
        {"member piece one byte too long", 4094, "1", "$[]", "-"},
        {"index piece at 4072 characters", 4070, "[[{\"b\":1}]]", "$[][0][0].b", "[0].b"},
        {"no index piece past 4072", 4071, "[[{\"b\":1}]]", "$[][0][0].b", ".b"},
        {"no index piece past 4072, wildcard", 4071, "[7]", "$[][]", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::string key(row.key_len, 'k');
        std::string doc = "{\"" + key + "\":" + row.value + "}";
        ASSERT_EQ(json_parse(doc.c_str()), 0);
        ASSERT_EQ(json_query(row.query), 0);
        ASSERT_EQ(json_query_count(), 1);
        std::string want = row.tail == "-" ? "$" : "$." + key + row.tail;
        EXPECT_EQ(std::string(json_query_field(0, "path")), want);
        EXPECT_LE(want.size(), JE_PATH_MAX);
    }
}

// An allocator that serves `budget` requests and then fails.
struct FailingAlc {
    int budget;
};
void *fa_malloc(void *ctx, size_t n) { return static_cast<FailingAlc *>(ctx)->budget-- > 0 ? malloc(n) : nullptr; }
void *fa_realloc(void *ctx, void *p, size_t, size_t n) {
    return static_cast<FailingAlc *>(ctx)->budget-- > 0 ? realloc(p, n) : nullptr;
}
void fa_free(void *, void *p) { free(p); }

TEST(QueryEval, PoolAllocationFailures) {
    struct Row {
        const char *name;
        const char *query;
        bool ok;
        const char *message;
    };
    const Row rows[] = {
        {"literal in a filter ends the run", "$[?$ == 1]", false, "out of memory"},
        {"length step", "$ | length", false, "out of memory"},
        {"map stage fails without a message", "$ | map($)", false, ""},
        {"length inside a filter makes no value", "$[?$.length]", true, ""},
        {"no values made", "$[]", true, ""},
    };
    ASSERT_EQ(json_parse("[1,2]"), 0);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_parser p{};
        p.pos = row.query;
        je_prog prog{};
        je_prog_guard guard(&prog);
        ASSERT_TRUE(je_p_next(&p) && je_parse_prog(&p, &prog));
        FailingAlc budget{1};  // the pool document itself, then nothing
        yyjson_alc alc{fa_malloc, fa_realloc, fa_free, &budget};
        je_pool_guard pool;
        pool.pool.doc = yyjson_mut_doc_new(&alc);
        ASSERT_NE(pool.pool.doc, nullptr);
        je_es out;
        je_err_clear();
        EXPECT_EQ(je_eval_prog(&prog, yyjson_mut_doc_get_root(je_doc_mut()), "$", &out, &pool.pool), row.ok);
        EXPECT_STREQ(json_last_error(), row.message);
    }
}

TEST(QueryEval, ReadsTheEditedDocument) {
    ASSERT_EQ(json_parse("{\"a\":[1,2]}"), 0);
    ASSERT_EQ(json_set("$.a", "[{\"n\":7},2]"), 0);
    ASSERT_EQ(json_set("$.b", "\"new\""), 0);
    ASSERT_EQ(json_query("$[]"), 0);
    EXPECT_EQ(table(), (Rows{{"$.a", "[{\"n\":7},2]"}, {"$.b", "\"new\""}}));
    ASSERT_EQ(json_query("$.a[?.n > 5].n"), 0);
    EXPECT_EQ(table(), (Rows{{"$.a[0].n", "7"}}));
}

// ---- result table and accessors -------------------------------------------------------

TEST(QueryResults, TableFieldsAndRaw) {
    ASSERT_EQ(json_parse("{\"a\":[1,\"x\",{\"b\":true}]}"), 0);
    ASSERT_EQ(json_query("$.a[]"), 0);
    EXPECT_EQ(table(), (Rows{{"$.a[0]", "1"}, {"$.a[1]", "\"x\""}, {"$.a[2]", "{\"b\":true}"}}));
    EXPECT_STREQ(json_query_raw(), "[1,\"x\",{\"b\":true}]");
    EXPECT_EQ(json_query_raw(), je_bigbuf.ptr);

    // Path and value have buffers of their own, so both texts hold at once.
    const char *path = json_query_field(2, "path");
    const char *value = json_query_field(2, "value");
    EXPECT_STREQ(path, "$.a[2]");
    EXPECT_STREQ(value, "{\"b\":true}");

    struct Row {
        const char *name;
        int index;
        const char *field;
        bool clears;
    };
    const Row rows[] = {
        {"index past the end", 3, "path", true}, {"negative index", -1, "value", true},
        {"absent field name", 0, nullptr, true}, {"field names are case-sensitive", 0, "Path", false},
        {"unknown field name", 0, "key", false}, {"empty field name", 0, "", false},
    };
    je_set_error("kept");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_STREQ(json_query_field(2, "path"), "$.a[2]");
        ASSERT_STREQ(json_query_field(2, "value"), "{\"b\":true}");
        EXPECT_STREQ(json_query_field(row.index, row.field), "");
        EXPECT_STREQ(path, row.clears ? "" : "$.a[2]");
        EXPECT_STREQ(value, row.clears ? "" : "{\"b\":true}");
        EXPECT_STREQ(json_last_error(), "kept");
    }

    ASSERT_EQ(json_query("$.a[5]"), 0);
    EXPECT_EQ(json_query_count(), 0);
    EXPECT_STREQ(json_query_raw(), "[]");
    EXPECT_STREQ(json_query_field(0, "path"), "");

    ASSERT_EQ(json_query("$.a | length"), 0);
    EXPECT_EQ(table(), (Rows{{"$.a", "3"}}));
}

TEST(QueryResults, TableHolds4000Rows) {
    std::string doc = "[";
    for (int i = 0; i < 5000; ++i) doc += (i ? "," : "") + std::to_string(i);
    doc += "]";
    ASSERT_EQ(json_parse(doc.c_str()), 0);
    ASSERT_EQ(json_query("$[]"), 0);
    EXPECT_STREQ(json_last_error(), "");
    ASSERT_EQ(json_query_count(), 4000);
    EXPECT_STREQ(json_query_field(3999, "path"), "$[3999]");
    EXPECT_STREQ(json_query_field(3999, "value"), "3999");
    EXPECT_STREQ(json_query_field(4000, "value"), "");
    std::string raw = json_query_raw();
    std::string want = "[";
    for (int i = 0; i < 4000; ++i) want += (i ? "," : "") + std::to_string(i);
    EXPECT_EQ(raw, want + "]");
}

TEST(QueryResults, LongValueIsCutInTheFieldOnly) {
    std::string s(19998, 'v');
    ASSERT_EQ(json_parse(("{\"s\":\"" + s + "\"}").c_str()), 0);
    ASSERT_EQ(json_query("$.s"), 0);
    std::string text = "\"" + s + "\"";
    EXPECT_EQ(std::string(json_query_field(0, "value")), text.substr(0, 12287));
    EXPECT_EQ(std::string(json_query_raw()), "[" + text + "]");
}

TEST(QueryResults, StateAcrossCalls) {
    ASSERT_EQ(json_parse("{\"a\":[1,\"x\",{\"b\":true}]}"), 0);
    ASSERT_EQ(json_query("$.a[]"), 0);
    const Rows first = table();
    ASSERT_EQ(first.size(), 3u);

    // Loading, editing and other reads leave the results alone.
    ASSERT_EQ(json_parse("{\"k\":9}"), 0);
    ASSERT_EQ(json_set("$.k", "10"), 0);
    EXPECT_STREQ(json_get("$"), "{\"k\":10}");
    EXPECT_EQ(table(), first);
    EXPECT_STREQ(json_query_raw(), "[1,\"x\",{\"b\":true}]");
    unload();
    EXPECT_EQ(table(), first);

    // The next query empties the table whatever its outcome; the accessors
    // leave its message in place.
    EXPECT_EQ(json_query("$"), -1);
    EXPECT_STREQ(json_last_error(), "no document loaded");
    EXPECT_EQ(json_query_count(), 0);
    EXPECT_STREQ(json_query_raw(), "[]");
    EXPECT_STREQ(json_query_field(0, "path"), "");
    EXPECT_STREQ(json_last_error(), "no document loaded");

    ASSERT_EQ(json_parse("[1]"), 0);
    ASSERT_EQ(json_query("$[]"), 0);
    ASSERT_EQ(json_query_count(), 1);
    EXPECT_EQ(json_query(nullptr), -1);
    EXPECT_STREQ(json_last_error(), "empty query");
    EXPECT_EQ(json_query_count(), 0);

    // Checks run in order: an empty query wins over a missing document.
    unload();
    EXPECT_EQ(json_query(""), -1);
    EXPECT_STREQ(json_last_error(), "empty query");
    je_doc = yyjson_mut_doc_new(nullptr);  // a document without a root
    EXPECT_EQ(json_query("$"), -1);
    EXPECT_STREQ(json_last_error(), "no document loaded");
    unload();
}

// ---- depth safety ---------------------------------------------------------------

TEST(QueryRobustness, MillionLevelDocument) {
    const size_t depth = JE_TEST_DEEP;
    const std::string doc = je_nested(depth, "[", "]");
    const size_t steps = 100000;
    std::string deep_path = "$";
    for (size_t i = 0; i < steps; ++i) deep_path += "[0]";
    je_run_small_stack([&] {
        ASSERT_EQ(json_parse(doc.c_str()), 0);
        ASSERT_EQ(json_query("$"), 0) << json_last_error();
        ASSERT_EQ(json_query_count(), 1);
        EXPECT_EQ(std::string(json_query_raw()).size(), doc.size() + 2);
        EXPECT_EQ(std::string(json_query_field(0, "value")), doc.substr(0, 12287));

        ASSERT_EQ(json_query("$[]"), 0);
        EXPECT_STREQ(json_query_field(0, "path"), "$[0]");
        EXPECT_EQ(std::string(json_query_raw()).size(), doc.size());

        ASSERT_EQ(json_query(deep_path.c_str()), 0) << json_last_error();
        ASSERT_EQ(json_query_count(), 1);
        std::string path = json_query_field(0, "path");
        EXPECT_EQ(path.size(), 1 + 3 * ((4072 - 1) / 3 + 1));  // index pieces stop past 4072
        EXPECT_EQ(std::string(json_query_raw()).size(), 2 * (depth - steps) + 2);

        ASSERT_EQ(json_query("$ | map($) | length"), 0) << json_last_error();
        EXPECT_EQ(table(), (Rows{{"$", "1"}}));
        // $[0][0] is the array nested depth - 2 levels; the map copies its element.
        ASSERT_EQ(json_query("$[?$][?.length == 1] | map($)"), 0) << json_last_error();
        EXPECT_STREQ(json_query_field(0, "path"), "$[0][0]");
        EXPECT_EQ(std::string(json_query_raw()).size(), 2 * (depth - 2) + 2);
        ASSERT_EQ(json_query("$.x[]"), 0);
        EXPECT_EQ(json_query_count(), 0);
    });
}

TEST(QueryRobustness, HundredThousandSteps) {
    const size_t steps = 100000;
    std::string query = "$";
    for (size_t i = 0; i < steps; ++i) query += ".a";
    std::string doc = je_nested(JE_TEST_DEEP, "{\"a\":", "}", "1");
    je_run_small_stack([&] {
        ASSERT_EQ(json_parse(doc.c_str()), 0);
        ASSERT_EQ(json_query(query.c_str()), 0) << json_last_error();
        ASSERT_EQ(json_query_count(), 1);
        // Member pieces of two bytes are added while the path stays within 4095.
        std::string path = "$";
        while (path.size() + 1 + 2 <= 4096) path += ".a";
        EXPECT_EQ(path.size(), 4095u);
        EXPECT_EQ(std::string(json_query_field(0, "path")), path);
        EXPECT_EQ(std::string(json_query_raw()).size(), 6 * (JE_TEST_DEEP - steps) + 1 + 2);

        ASSERT_EQ(json_query((query + " | length").c_str()), 0);
        EXPECT_STREQ(json_query_field(0, "value"), "1");

        ASSERT_EQ(json_parse("{\"a\":{\"a\":1},\"b\":1}"), 0);
        ASSERT_EQ(json_query(query.c_str()), 0) << json_last_error();
        EXPECT_EQ(json_query_count(), 0);
        std::string lengths = "$";
        for (size_t i = 0; i < steps; ++i) lengths += ".length";
        ASSERT_EQ(json_query(lengths.c_str()), 0) << json_last_error();
        EXPECT_EQ(table(), (Rows{{"$", "0"}}));
    });
}

// ---- the query command -----------------------------------------------------------

TEST(QueryCli, Command) {
    const std::string doc = "{\"a\":[1,\"x\",{\"b\":true}]}";
    struct Row {
        const char *name;
        std::string args;
        int status;
        std::string out;
        std::string err;
    };
    const Row rows[] = {
        {"values", "query '$.a[]'", 0, "1\n\"x\"\n{\"b\":true}\n", ""},
        {"paths", "query --paths '$.a[]'", 0, "$.a[0]\t1\n$.a[1]\t\"x\"\n$.a[2]\t{\"b\":true}\n", ""},
        {"array", "query --array '$.a[]'", 0, "[1,\"x\",{\"b\":true}]\n", ""},
        {"array without results", "query --array '$.zz'", 0, "[]\n", ""},
        {"raw strings", "query -r '$.a[]'", 0, "1\nx\n{\"b\":true}\n", ""},
        {"no results", "query '$.zz'", 0, "", ""},
        {"standard input as -", "query '$.a | length' -", 0, "3\n", ""},
        {"query error", "query '$[x]'", 1, "", "jsonengine: query: expected index or filter in '['\n"},
        {"missing query", "query", 2, "", "usage: jsonengine query "},
        {"both modes", "query --paths --array '$'", 2, "", "jsonengine: query: --paths and --array"},
        {"unknown option", "query --all '$'", 2, "",
         "jsonengine: query: unknown option: --all\nusage: jsonengine query "},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        je_cli_result r = je_run_cli(row.args, doc);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err.substr(0, row.err.size()), row.err);
        if (row.err.empty()) {
            EXPECT_EQ(r.err, "");
        }
    }

    // A file argument, and a value longer than the field cut printed whole.
    std::string big(20000, 'b');
    std::string file = je_temp_file("{\"s\":\"" + big + "\",\"t\":1}");
    je_cli_result r = je_run_cli("query --paths '$[]' '" + file + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "$.s\t\"" + big + "\"\n$.t\t1\n");
    unlink(file.c_str());
}

}  // namespace
