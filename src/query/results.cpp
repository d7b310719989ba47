// The query result table and the four exported query functions. Each
// result is written out and read back into a document of its own, so the
// table outlives the run, the pool and any later change of the document.
#include <cstring>
#include <type_traits>

#include "je_query.h"

JE_LARGE_STATIC je_qentry je_q[JE_QMAX_RESULTS];
int32_t je_qn = 0;

JE_LARGE_STATIC static char out_path[JE_QFIELD_SIZE];
JE_LARGE_STATIC static char out_value[JE_QFIELD_SIZE];

static const char je_qraw_none[] = "[]";

void je_qreset() {
    for (int32_t i = 0; i < je_qn; ++i) {
        yyjson_doc_free(je_q[i].doc);
        free(je_q[i].path);
        je_q[i].doc = nullptr;
        je_q[i].path = nullptr;
    }
    je_qn = 0;
}

template <class V>
bool je_qadd(V *value, const char *path, size_t path_len) {
    if (je_qn >= JE_QMAX_RESULTS || !value) return false;
    size_t len = 0;
    char *text = je_write_val(value, &len);
    if (!text) {
        je_set_error("out of memory (query result)");
        return false;
    }
    je_free_guard text_guard(text);
    yyjson_doc *doc = yyjson_read_opts(text, len, 0, nullptr, nullptr);
    if (!doc) {
        je_set_error("internal: result reparse failed");
        return false;
    }
    if (!path) {
        path = "$";
        path_len = 1;
    }
    if (path_len > JE_PATH_MAX) path_len = JE_PATH_MAX;
    char *copy = static_cast<char *>(malloc(path_len + 1));
    if (!copy) {
        yyjson_doc_free(doc);
        je_set_error("out of memory (query result)");
        return false;
    }
    memcpy(copy, path, path_len);
    copy[path_len] = '\0';
    je_q[je_qn] = {doc, copy};
    ++je_qn;
    return true;
}

static int je_query_run(const char *query) {
    if (!query || !query[0]) {
        je_set_error("empty query");
        return -1;
    }
    if (!je_doc_ensure()) {
        je_set_error("no document loaded");
        return -1;
    }
    je_parser p{};
    p.pos = query;
    if (!je_p_next(&p)) return -1;
    je_prog prog{};
    je_prog_guard prog_guard(&prog);
    if (!je_parse_prog(&p, &prog)) return -1;
    if (p.kind != JE_TOK_END) {
        je_set_errorf("query: trailing garbage near: %.16s", p.pos);
        return -1;
    }
    return je_with_root([&](auto *root) {
        je_pool_guard pool;
        je_es_of<std::remove_pointer_t<decltype(root)>> set;
        if (!je_eval_prog(&prog, root, "$", &set, &pool.pool)) {
            if (je_err_empty()) je_set_error("query evaluation failed");
            return -1;
        }
        for (size_t i = 0; i < set.size(); ++i)
            if (!je_qadd(set.vals[i], set.path(i), set.path_len(i))) break;
        return 0;
    });
}

extern "C" JSONENGINE_API int json_query(const char *query) {
    je_err_clear();
    je_qreset();
    return je_guard(-1, [&] { return je_query_run(query); });
}

extern "C" JSONENGINE_API int json_query_count(void) {
    return je_guard(0, [] { return static_cast<int>(je_qn); });
}

extern "C" JSONENGINE_API const char *json_query_field(int index, const char *field) {
    return je_guard<const char *>(je_empty, [&]() -> const char * {
        if (index < 0 || index >= je_qn || !field) {
            out_path[0] = '\0';
            out_value[0] = '\0';
            return je_empty;
        }
        const je_qentry &e = je_q[index];
        if (strcmp(field, "path") == 0) {
            je_copy_field(out_path, sizeof out_path, e.path);
            return out_path;
        }
        if (strcmp(field, "value") == 0) {
            size_t len = 0;
            char *text = yyjson_write_opts(e.doc, 0, nullptr, &len, nullptr);
            out_value[0] = '\0';
            if (!text) return out_value;
            je_free_guard text_guard(text);
            if (len > JE_QFIELD_SIZE - 1) len = JE_QFIELD_SIZE - 1;
            memcpy(out_value, text, len);
            out_value[len] = '\0';
            return out_value;
        }
        return je_empty;
    });
}

extern "C" JSONENGINE_API const char *json_query_raw(void) {
    return je_guard<const char *>(je_empty, []() -> const char * {
        if (je_qn == 0) return je_qraw_none;
        je_buf_guard bg(je_buf_guard::out_t{});
        je_buf *b = &bg.b;
        je_buf_append(b, "[", 1);
        for (int32_t i = 0; i < je_qn; ++i) {
            if (i) je_buf_append(b, ",", 1);
            size_t len = 0;
            char *text = yyjson_write_opts(je_q[i].doc, 0, nullptr, &len, nullptr);
            if (text) {
                je_buf_append(b, text, len);
                free(text);
            } else {
                je_buf_append(b, "null", 4);
            }
        }
        je_buf_append(b, "]", 1);
        if (b->failed || !b->text) return je_empty;
        char *text = b->text;
        b->text = nullptr;  // je_publish takes the block
        return je_publish(text, b->length);
    });
}
