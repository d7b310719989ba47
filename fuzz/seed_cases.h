// Small inline cases for every fuzz target, in the targets' input form
// (parts joined by NUL bytes). The seed writer puts them in the corpora
// beside the shared test data; the replay suite runs them through the
// targets' checks in the ordinary test builds.
#pragma once

#include <string>
#include <vector>

struct je_seed_case {
    const char *family;  // target name without the fuzz_ prefix
    std::string bytes;
};

inline std::string je_seed_join(std::initializer_list<std::string> parts) {
    std::string s;
    bool first = true;
    for (const std::string &p : parts) {
        if (!first) s.push_back('\0');
        s += p;
        first = false;
    }
    return s;
}

inline std::string je_seed_nested(size_t depth, const std::string &open, const std::string &close,
                                  const std::string &inner = "") {
    std::string s;
    for (size_t i = 0; i < depth; ++i) s += open;
    s += inner;
    for (size_t i = 0; i < depth; ++i) s += close;
    return s;
}

inline std::vector<je_seed_case> je_seed_cases() {
    const std::string store =
        "{\"store\":{\"book\":[{\"title\":\"A\",\"price\":8},{\"title\":\"B\",\"price\":12,\"tags\":[\"x\",\"y\"]}],"
        "\"name\":\"S\"}}";
    const std::string deep_arr = je_seed_nested(600, "[", "]", "1");
    const std::string deep_obj = je_seed_nested(600, "{\"a\":", "}", "null");
    std::vector<je_seed_case> c;
    auto add = [&](const char *family, std::initializer_list<std::string> parts) {
        c.push_back({family, je_seed_join(parts)});
    };

    for (const char *t :
         {"", " ", "{\"a\":1} x", "{\"a\":1,}", "\xEF\xBB\xBF{}", "[1,2]", "1.5", "null", "true", "{\"a\":1,\"a\":2}",
          "{\"x\":{\"y\":1,\"y\":2},\"x\":3}", "NaN", "1e999", "[1,\n2,\n\xC3\xA9x]", "\"\\ud800\"",
          "{\"k\\u0000a\":1,\"k\\u0000b\":2}", "\"\xFF\"", "-0.0", "18446744073709551616"})
        add("load", {t});
    add("load", {je_seed_nested(512, "[", "]")});
    add("load", {je_seed_nested(513, "[", "]")});
    add("load", {je_seed_nested(512, "[", "]", "0")});
    add("load", {deep_obj});
    add("load", {std::string("{\"a\":1}") + '\0' + "garbage"});

    for (const char *p :
         {"$", "$.store.book[1].title", "$.store.book[5]", "$.missing", "$.store.book[0].x.y", "$[0]", "$[007]",
          "$[2147483648]", "$[-1]", "$.", "$..a", "$.[0]", "$x", "a.b", "$.a b", "$.a]", "$.store.name.x"})
        add("paths", {store, p, "42"});
    add("paths", {"{\"a\":1,\"b\":2,\"a\":3}", "$.a", "9"});
    add("paths", {"{}", "$.x.y.z", "true"});
    add("paths", {"{\"arr\":[10,20,30]}", "$.arr[1]", "99"});
    add("paths", {"{\"arr\":[10,20,30]}", "$.arr[3]", "1"});
    add("paths", {"{}", "$.x[0]", "1"});
    add("paths", {"[]", "$[0].a", "{"});
    add("paths", {"[[1,2]]", "$[0][1]", "null"});
    add("paths", {"{\"a\":5}", "$.a.b.c", "[1,{\"q\":\"\\u20ac\"}]"});
    add("paths", {"{}", "$.\xC3\xA9", "\"\xC3\xA9\""});
    add("paths", {"{}", "$.\xFF", "1"});
    add("paths", {deep_arr, "$" + je_seed_nested(255, "[0]", ""), "2"});

    for (const char *q : {"$",
                          "$.store.book[1].title",
                          "$.store.book[].title",
                          "$.store[]",
                          "$.store.book[?.price > 10].title",
                          "$.store.book[?.price]",
                          "$.store.book[?.tags]",
                          "$.store.book[?.missing != 1]",
                          "$.store.book[?.tags.length == 2]",
                          "$.store.book[?.title < \"B\"]",
                          "$.store.book | length",
                          "$.store.name.length",
                          "$.store.book | map(.price)",
                          "$.store | map(.x)",
                          "$.store.book | map(.tags[])",
                          "$.store.name[?$ == \"S\"]",
                          "$.a)x",
                          "$.a ==",
                          "map .a",
                          "map(.a",
                          "map()",
                          "$.",
                          "$.[x]",
                          "$[0",
                          "$[x]",
                          "$[?.a = 1]",
                          "$[?.a >]",
                          "$[?.a 1]",
                          "| $",
                          "   ",
                          "$[-1]",
                          "$[4294967296]",
                          "$[2.7]",
                          "0x1f",
                          "-inf",
                          "\"a\\\"b\"",
                          "\"\\u12\"",
                          "\"\\q\"",
                          "&&",
                          "$.a | map(.b | length)",
                          "$[?.a == true] | map(map($))",
                          "$[][][][][][][][]"})
        add("query", {store, q});
    add("query", {"{\"a\":[1,\"x\",{\"b\":true}]}", "$.a[]"});
    add("query", {deep_arr, "$" + je_seed_nested(300, "[0]", "")});
    add("query", {"[1]", je_seed_nested(300, "map(", ")", "$")});
    add("query", {"[1]", "$" + je_seed_nested(300, "[?", "]", "$")});
    add("query", {"[1]", je_seed_nested(200, "$ | ", "", "$")});

    for (const char *t : {"name,age\nann,30\nbob,\n",
                          "a,b\r\n1,true\r\n",
                          "a\n\"x \"\"q\"\", y\nz\"\n",
                          "a,b\n1\n2\n",
                          "a\n1,2\n",
                          "a,b\n1,2,3\n",
                          "a,b\n1,2\n\n\n3,4",
                          "a,a\n1,2\n",
                          ",x\n1,2\n",
                          "\xEF\xBB\xBF"
                          "a\n1\n",
                          "a,b\n",
                          "a,b\n\n",
                          "",
                          "\n",
                          "a\nnan\ninf\n-inf\n",
                          "a\n99999999999999999999\n-99999999999999999999\n",
                          "a\n0x10\n 7\n7 \n1e3\n+7\n",
                          "a\n\xFF\n",
                          "\xFF\n1\n",
                          "a\n\"unterminated"})
        add("csv", {t, "$"});
    add("csv", {"a\n1\n", ""});
    std::string wide;
    for (int i = 0; i < 300; ++i) wide += (i ? "," : "") + std::string("c") + std::to_string(i);
    add("csv", {wide + "\n1,2\n", "$"});
    add("csv", {"a\n" + std::string(300, 'x') + "\n", "$"});
    add("csv", {std::string(300, 'k') + "\n1\n", "$"});

    const char *merge_cases[][2] = {
        {"{\"a\":1,\"b\":{\"x\":1,\"y\":2}}", "{\"b\":{\"y\":3,\"z\":4},\"c\":5}"},
        {"{\"a\":1}", "{\"a\":null}"},
        {"{\"a\":[1,2]}", "{\"a\":[3]}"},
        {"{\"a\":{\"x\":1}}", "{\"a\":5}"},
        {"[1,2]", "{\"a\":1}"},
        {"{\"a\":1}", "7"},
        {"{\"k\":1,\"k\":2}", "{}"},
        {"{\"k\":1}", "{\"k\":2,\"k\":3}"},
        {"{\"x\":1}", "{\"x\":1.0}"},
        {"[1,2]", "[0,1,2]"},
        {"{\"a\":1,\"b\":2}", "{\"c\":3,\"a\":5}"},
        {"{\"a.b\":1}", "{}"},
        {"{\"s\":\"x\"}", "{\"s\":\"y\"}"},
        {"{\"z\":0.0}", "{\"z\":-0.0}"},
        {"{}", "{"},
        {"{}", ""},
    };
    for (auto &m : merge_cases) add("merge_diff", {m[0], m[1]});
    add("merge_diff", {deep_obj, je_seed_nested(600, "{\"a\":", "}", "1")});
    add("merge_diff", {deep_arr, je_seed_nested(600, "[", "]", "2")});

    add("trees", {"{\"a\":1,\"a\":{\"b\":[1,2]},\"a\\u0000b\":\"x\"}", "$.a", "$.a.b | length", "a"});
    add("trees", {"[18446744073709551615,-9223372036854775808,1e308,-0.0,{\"a\":[]}]", "$[4].a", "$[?.a]", "1"});
    add("trees", {"[{\"a\":1,\"b\":\"x,y\"},{\"a\":2,\"c\":[true]}]", "$", "map(.a)", "x"});
    add("inspect", {"{\"bob\":\"bobby\"}", "bob", "both"});
    add("inspect", {"\"abc\"", "b", "value"});
    add("inspect", {"{\"n\":123}", "12", "key"});
    add("inspect", {"[[\"x\"]]", "x", "Both"});
    add("inspect", {"{\"a.b\":\"x\",\"\":{\"a\":1},\"q\\\"\\\\\\n\":2}", "x", ""});
    add("inspect", {"{\"a\":{\"b\":1,\"c\":[true,null]},\"d\":\"x\"}", "", "sorted"});
    add("inspect", {"{\"b\":1,\"a\":2,\"b\":3}", "a", "PRETTY"});
    add("inspect", {"{\"a\":[],\"b\":{}}", "a", "minify"});
    add("inspect", {"{\"B\":1,\"a\":2,\"aa\":3,\"\xC3\xA9\":4,\"ab\":5}", "a", "x"});
    add("inspect", {"{\"k\\u0000a\":1,\"k\\u0000b\":2}", "k", "pretty"});
    add("inspect", {deep_obj, "a", "key"});
    add("inspect", {deep_arr, "1", "value"});
    add("inspect", {store, "e", "both"});
    return c;
}
