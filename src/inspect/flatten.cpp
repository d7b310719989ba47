// Flattening: json_flatten maps the path of every leaf of the live document
// to its value in one minified JSON object, in document order.
#include <cstring>
#include <string>
#include <vector>

#include "je_inspect.h"

constexpr int32_t JE_MAX_FLAT = 10000;
constexpr size_t JE_FLAT_PATH_SIZE = JE_PATH_SIZE;  // NUL included
static_assert(JSONENGINE_FLATTEN_MAX_LEAVES == JE_MAX_FLAT);

namespace {
struct je_flat_entry {
    size_t path;  // offset in je_flat_texts, cut to JE_FLAT_PATH_SIZE - 1 bytes
    void *value;  // the leaf (a value of the loaded document's tree); meaningful during one call
};
}  // namespace

static je_table<je_flat_entry, JE_MAX_FLAT> je_flatlist;
static je_texts je_flat_texts;
static int32_t je_nflat = 0;

// Leaves in document order, depth first. Ends once the table is full.
template <class V>
static void je_flatten_walk(V *root) {
    std::string path;
    je_walk(
        root, path, je_path_style::bare, true,
        [&](V *, V *val, size_t depth, const std::string &at) {
            if (je_nflat >= JE_MAX_FLAT) return je_step_to::stop;
            if (depth == 0 || je_is_ctn(val)) return je_step_to::into;
            je_flat_entry &e = je_flatlist.row(je_nflat);
            e = {je_flat_texts.add(at.data(), at.size(), JE_FLAT_PATH_SIZE - 1), val};
            ++je_nflat;
            return je_step_to::over;
        },
        [](size_t) {});
}

// The path as a JSON key: '"' and '\\' get a backslash, bytes 0x01 to 0x1F
// become \u00XX, every other byte stays as it is.
static void je_append_escaped(je_buf *b, const char *s) {
    // A path cut at its byte limit can end inside a multi-byte character;
    // the output must stay valid UTF-8, so such a tail is left off.
    size_t len = je_utf8_trim(s, strlen(s));
    const char *end = s + len;
    const char *run = s;
    for (; s < end; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        je_buf_append(b, run, static_cast<size_t>(s - run));
        if (c < 0x20)
            je_buf_appendf(b, "\\u%04x", c);
        else {
            char esc[2] = {'\\', static_cast<char>(c)};
            je_buf_append(b, esc, 2);
        }
        run = s + 1;
    }
    je_buf_append(b, run, static_cast<size_t>(s - run));
}

template <class V>
static const char *je_flatten(V *root) {
    je_nflat = 0;
    je_flat_texts.clear();
    if (je_is_ctn(root)) je_flatten_walk(root);
    je_buf_guard g(je_buf_guard::out_t{});
    je_buf *b = &g.b;
    auto put = [b](const char *p, size_t n) { je_buf_append(b, p, n); };
    je_buf_append(b, "{", 1);
    for (int32_t i = 0; i < je_nflat && !b->failed; ++i) {
        if (i) je_buf_append(b, ",", 1);
        je_buf_append(b, "\"", 1);
        je_append_escaped(b, je_flat_texts.at(je_flatlist[i].path));
        je_buf_append(b, "\":", 2);
        if (!je_scalar_text(static_cast<V *>(je_flatlist[i].value), put)) {
            je_buf_append(b, "null", 4);
            je_set_error("internal: json write failed");
        }
    }
    if (je_nflat == 0) {
        je_buf_append(b, "\"$\":", 4);
        size_t n = 0;
        char *text = je_write_val(root, &n);
        if (text) {
            je_buf_append(b, text, n);
            free(text);
        } else {
            je_buf_append(b, "null", 4);
            je_set_error("internal: json write failed");
        }
    }
    je_buf_append(b, "}", 1);
    if (b->failed) {
        // A text cut short by a failed growth is not the document's flat form.
        je_set_error("out of memory");
        return je_empty;
    }
    char *text = b->text;
    b->text = nullptr;  // je_publish takes the block
    return je_publish(text, b->length);
}

static const char *je_flatten() {
    if (!je_doc_ensure()) {
        je_set_error("no document loaded");
        return je_empty;
    }
    return je_with_root([](auto *root) { return je_flatten(root); });
}

extern "C" JSONENGINE_API const char *json_flatten(void) {
    je_err_clear();
    return je_guard<const char *>(je_empty, [] { return je_flatten(); });
}
