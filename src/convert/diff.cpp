// json_diff and its row table: a positional, structural comparison of the
// engine document (side a) with another document (side b), one row per
// difference, read back through json_diff_count and json_diff_field.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "je_convert.h"

constexpr int32_t JE_DIFF_CAP = 10000;     // rows kept per diff
constexpr size_t JE_DIFF_TEXT = 4096;      // path, a and b fields, NUL included
constexpr size_t JE_DIFF_TYPE = 16;        // type field, NUL included
constexpr size_t JE_DIFF_OUT_TEXT = 8192;  // accessor buffers, larger than any field
constexpr size_t JE_DIFF_OUT_TYPE = 64;

struct je_diff_entry {
    char path[JE_DIFF_TEXT];
    char type[JE_DIFF_TYPE];
    char a[JE_DIFF_TEXT];
    char b[JE_DIFF_TEXT];
};

static je_table<je_diff_entry, JE_DIFF_CAP> je_diff;
static int32_t je_ndiff = 0;

// Thrown when a value text cannot be written: a row with a lost text would
// read as a real difference, so the whole diff fails instead.
struct je_diff_write_failed {};

// The value's compact text, cut to the field; empty when absent.
static void je_diff_text(char *dst, const yyjson_mut_val *val) {
    dst[0] = '\0';
    if (!val) return;
    je_free_guard text(je_write_val(val, nullptr));
    if (!text.p) throw je_diff_write_failed();
    je_copy_field(dst, JE_DIFF_TEXT, static_cast<const char *>(text.p));
}

static void je_diff_add(const std::string &path, const char *type, const yyjson_mut_val *a, const yyjson_mut_val *b) {
    if (je_ndiff >= JE_DIFF_CAP) return;
    je_diff_entry &row = je_diff.row(je_ndiff);
    ++je_ndiff;
    je_copy_field(row.path, sizeof row.path, path.c_str());
    je_copy_field(row.type, sizeof row.type, type);
    je_diff_text(row.a, a);
    je_diff_text(row.b, b);
}

// yyjson's equality for two values that are not both containers of one
// kind: types must match; numbers compare by value across signed and
// unsigned integers, reals by bit pattern, and a real never equals an
// integer.
static bool je_scalar_equal(yyjson_mut_val *a, yyjson_mut_val *b) {
    yyjson_type type = yyjson_mut_get_type(a);
    if (type != yyjson_mut_get_type(b)) return false;
    yyjson_subtype sa = yyjson_mut_get_subtype(a), sb = yyjson_mut_get_subtype(b);
    switch (type) {
        case YYJSON_TYPE_NULL: return true;
        case YYJSON_TYPE_BOOL: return sa == sb;
        case YYJSON_TYPE_STR:
        case YYJSON_TYPE_RAW:
            return yyjson_mut_get_len(a) == yyjson_mut_get_len(b) &&
                   memcmp(yyjson_mut_get_str(a), yyjson_mut_get_str(b), yyjson_mut_get_len(a)) == 0;
        case YYJSON_TYPE_NUM:
            if (sa == YYJSON_SUBTYPE_REAL || sb == YYJSON_SUBTYPE_REAL) return sa == sb && a->uni.u64 == b->uni.u64;
            if (sa == sb) return a->uni.u64 == b->uni.u64;
            // One signed, one unsigned: equal only when the signed one is not
            // negative and the bits agree.
            return (sa == YYJSON_SUBTYPE_SINT ? a : b)->uni.i64 >= 0 && a->uni.u64 == b->uni.u64;
        default: return false;
    }
}

namespace {

// Key tables of a large object pair, so matching members costs no scan.
struct je_diff_index {
    je_key_table a_keys;
    je_key_table b_keys;
    std::vector<yyjson_mut_val *> b_first;  // first b value per b key
};

// One container pair on the walk. Objects run two phases: a's members
// (matched in b), then b's members missing from a. Arrays step both sides
// by index. The cursors point at the current key or element of each side.
struct je_diff_frame {
    yyjson_mut_val *a;
    yyjson_mut_val *b;
    yyjson_mut_val *cur_a;
    yyjson_mut_val *cur_b;
    size_t i;       // members done in this phase, or the array index
    size_t n;       // members of this phase, or the longer array's size
    uint32_t plen;  // length of this container's path
    bool is_obj;
    bool b_phase;
    int32_t index;  // position in the index stack, or -1 for scanning
};

class je_diff_walker {
public:
    // Walks the pair. Once the table is full nothing more can be recorded,
    // so the walk ends there. Throws std::bad_alloc when its stack cannot grow.
    void run(yyjson_mut_val *a, yyjson_mut_val *b) {
        path_ = "$";
        visit(a, b);
        while (!stack_.empty() && je_ndiff < JE_DIFF_CAP) step();
    }

private:
    std::string path_;
    std::vector<je_diff_frame> stack_;
    std::vector<std::unique_ptr<je_diff_index>> indexes_;

    void visit(yyjson_mut_val *a, yyjson_mut_val *b) {
        if (!a && !b) return;
        if (!a) return je_diff_add(path_, "added", nullptr, b);
        if (!b) return je_diff_add(path_, "removed", a, nullptr);
        bool objs = yyjson_mut_is_obj(a) && yyjson_mut_is_obj(b);
        if (objs || (yyjson_mut_is_arr(a) && yyjson_mut_is_arr(b))) return push(a, b, objs);
        if (!je_scalar_equal(a, b)) je_diff_add(path_, "changed", a, b);
    }

    void push(yyjson_mut_val *a, yyjson_mut_val *b, bool is_obj) {
        je_diff_frame f{};
        f.a = a;
        f.b = b;
        f.plen = static_cast<uint32_t>(path_.size());
        f.is_obj = is_obj;
        f.index = -1;
        if (is_obj) {
            f.cur_a = je_first_key(a);
            f.n = yyjson_mut_obj_size(a);
            if (yyjson_mut_obj_size(a) >= JE_KEY_INDEX_MIN || yyjson_mut_obj_size(b) >= JE_KEY_INDEX_MIN) {
                f.index = static_cast<int32_t>(indexes_.size());
                indexes_.push_back(build_index(a, b));
            }
        } else {
            f.cur_a = je_first_elem(a);
            f.cur_b = je_first_elem(b);
            size_t na = yyjson_mut_arr_size(a), nb = yyjson_mut_arr_size(b);
            f.n = na > nb ? na : nb;
        }
        stack_.push_back(f);
    }

    static std::unique_ptr<je_diff_index> build_index(yyjson_mut_val *a, yyjson_mut_val *b) {
        auto idx = std::make_unique<je_diff_index>();
        size_t n = yyjson_mut_obj_size(a);
        yyjson_mut_val *key = je_first_key(a);
        for (size_t i = 0; i < n; ++i, key = je_next_key(key))
            if (idx->a_keys.find(je_key_view(key)) < 0) idx->a_keys.add(je_key_view(key));
        n = yyjson_mut_obj_size(b);
        key = je_first_key(b);
        for (size_t i = 0; i < n; ++i, key = je_next_key(key)) {
            if (idx->b_keys.find(je_key_view(key)) >= 0) continue;
            idx->b_keys.add(je_key_view(key));
            idx->b_first.push_back(key->next);
        }
        return idx;
    }

    // First member of b with the key's exact bytes.
    yyjson_mut_val *find_in_b(const je_diff_frame &f, yyjson_mut_val *key) const {
        if (f.index < 0) return je_obj_find(f.b, yyjson_mut_get_str(key), yyjson_mut_get_len(key));
        const je_diff_index &idx = *indexes_[static_cast<size_t>(f.index)];
        int32_t at = idx.b_keys.find(je_key_view(key));
        return at < 0 ? nullptr : idx.b_first[static_cast<size_t>(at)];
    }

    bool a_has(const je_diff_frame &f, yyjson_mut_val *key) const {
        if (f.index < 0) return je_obj_find(f.a, yyjson_mut_get_str(key), yyjson_mut_get_len(key)) != nullptr;
        return indexes_[static_cast<size_t>(f.index)]->a_keys.find(je_key_view(key)) >= 0;
    }

    void pop() {
        if (stack_.back().index >= 0) indexes_.pop_back();
        stack_.pop_back();
    }

    // Handles the next child of the innermost pair. The frame is advanced
    // before visiting, since visiting may push a frame and move the stack.
    void step() {
        je_diff_frame &f = stack_.back();
        path_.resize(f.plen);
        if (f.is_obj) {
            if (!f.b_phase && f.i == f.n) {
                f.b_phase = true;
                f.i = 0;
                f.n = yyjson_mut_obj_size(f.b);
                f.cur_b = je_first_key(f.b);
            }
            if (f.i == f.n) return pop();
            ++f.i;
            if (!f.b_phase) {
                yyjson_mut_val *key = f.cur_a;
                f.cur_a = je_next_key(key);
                je_rpath_key(path_, yyjson_mut_get_str(key));
                yyjson_mut_val *vb = find_in_b(f, key);
                return visit(key->next, vb);
            }
            yyjson_mut_val *key = f.cur_b;
            f.cur_b = je_next_key(key);
            if (a_has(f, key)) return;
            je_rpath_key(path_, yyjson_mut_get_str(key));
            return je_diff_add(path_, "added", nullptr, key->next);
        }
        if (f.i == f.n) return pop();
        size_t na = yyjson_mut_arr_size(f.a), nb = yyjson_mut_arr_size(f.b);
        yyjson_mut_val *va = f.i < na ? f.cur_a : nullptr;
        yyjson_mut_val *vb = f.i < nb ? f.cur_b : nullptr;
        if (va) f.cur_a = va->next;
        if (vb) f.cur_b = vb->next;
        je_rpath_index(path_, f.i++);
        visit(va, vb);
    }
};

}  // namespace

extern "C" JSONENGINE_API int json_diff(const char *other) {
    je_err_clear();
    je_ndiff = 0;
    return je_guard(-1, [&] {
        if (!je_doc_ensure()) {
            je_set_error("no document loaded");
            return -1;
        }
        const char *message = nullptr;
        yyjson_mut_val *value = je_parse_val(je_doc, other, &message);
        if (!value) {
            je_set_errorf("diff target: %s", message ? message : "invalid JSON");
            return -1;
        }
        try {
            je_diff_walker walker;
            walker.run(yyjson_mut_doc_get_root(je_doc), value);
        } catch (const std::bad_alloc &) {
            // A walk that could not finish leaves no partial table behind.
            je_ndiff = 0;
            je_set_error("out of memory");
            return -1;
        } catch (const je_diff_write_failed &) {
            je_ndiff = 0;
            je_set_error("internal: json write failed");
            return -1;
        }
        return 0;
    });
}

extern "C" JSONENGINE_API int json_diff_count(void) { return je_ndiff; }

extern "C" JSONENGINE_API const char *json_diff_field(int index, const char *field) {
    return je_guard<const char *>(je_empty, [&]() -> const char * {
        static char out_path[JE_DIFF_OUT_TEXT];
        static char out_type[JE_DIFF_OUT_TYPE];
        static char out_a[JE_DIFF_OUT_TEXT];
        static char out_b[JE_DIFF_OUT_TEXT];
        if (!field || index < 0 || index >= je_ndiff) return je_empty;
        const je_diff_entry &row = je_diff[index];
        char *out;
        const char *src;
        size_t size;
        if (strcmp(field, "path") == 0) {
            out = out_path, src = row.path, size = sizeof out_path;
        } else if (strcmp(field, "type") == 0) {
            out = out_type, src = row.type, size = sizeof out_type;
        } else if (strcmp(field, "a") == 0) {
            out = out_a, src = row.a, size = sizeof out_a;
        } else if (strcmp(field, "b") == 0) {
            out = out_b, src = row.b, size = sizeof out_b;
        } else {
            return je_empty;
        }
        je_copy_field(out, size, src);
        return out;
    });
}
