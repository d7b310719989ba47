// json_diff and its row table: a positional, structural comparison of the
// engine document (side a) with another document (side b), one row per
// difference, read back through json_diff_count and json_diff_field.
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "je_convert.h"

constexpr int32_t JE_DIFF_CAP = 10000;     // rows kept per diff
constexpr size_t JE_DIFF_TEXT = 4096;      // path, a and b fields, NUL included
constexpr size_t JE_DIFF_TYPE = 16;        // type field, NUL included
constexpr size_t JE_DIFF_OUT_TEXT = 8192;  // accessor buffers, larger than any field
constexpr size_t JE_DIFF_OUT_TYPE = 64;
static_assert(JSONENGINE_DIFF_MAX_ROWS == JE_DIFF_CAP);
static_assert(JSONENGINE_DIFF_FIELD_MAX == JE_DIFF_TEXT - 1);

// The type in place; path, a and b as offsets in je_diff_texts, each cut to
// JE_DIFF_TEXT - 1 bytes.
struct je_diff_entry {
    size_t path;
    char type[JE_DIFF_TYPE];
    size_t a, b;
};

static je_table<je_diff_entry, JE_DIFF_CAP> je_diff;
static je_texts je_diff_texts;
static int32_t je_ndiff = 0;

// Thrown when a value text cannot be written: a row with a lost text would
// read as a real difference, so the whole diff fails instead.
struct je_diff_write_failed {};

// The value's compact text, cut to the field; empty when absent.
template <class V>
static size_t je_diff_text(V *val) {
    if (!val) return je_texts::none;
    je_free_guard text(je_write_val(val, nullptr));
    if (!text.p) throw je_diff_write_failed();
    return je_diff_texts.add(static_cast<const char *>(text.p), JE_DIFF_TEXT - 1);
}

template <class A, class B>
static void je_diff_add(const std::string &path, const char *type, A *a, B *b) {
    if (je_ndiff >= JE_DIFF_CAP) return;
    je_diff_entry &row = je_diff.row(je_ndiff);
    ++je_ndiff;
    row.path = je_diff_texts.add(path.c_str(), JE_DIFF_TEXT - 1);
    je_copy_field(row.type, sizeof row.type, type);
    row.a = je_diff_text(a);
    row.b = je_diff_text(b);
}

// yyjson's equality for two values that are not both containers of one
// kind: types must match; numbers compare by value across signed and
// unsigned integers, reals by bit pattern, and a real never equals an
// integer.
template <class A, class B>
static bool je_scalar_equal(A *a, B *b) {
    yyjson_type type = je_type(a);
    if (type != je_type(b)) return false;
    yyjson_subtype sa = je_subtype(a), sb = je_subtype(b);
    switch (type) {
        case YYJSON_TYPE_NULL: return true;
        case YYJSON_TYPE_BOOL: return sa == sb;
        case YYJSON_TYPE_STR:
        case YYJSON_TYPE_RAW: return je_len(a) == je_len(b) && memcmp(je_str(a), je_str(b), je_len(a)) == 0;
        case YYJSON_TYPE_NUM:
            if (sa == YYJSON_SUBTYPE_REAL || sb == YYJSON_SUBTYPE_REAL) return sa == sb && a->uni.u64 == b->uni.u64;
            if (sa == sb) return a->uni.u64 == b->uni.u64;
            // One signed, one unsigned: equal only when the signed one is not
            // negative and the bits agree.
            return (sa == YYJSON_SUBTYPE_SINT ? a->uni.i64 : b->uni.i64) >= 0 && a->uni.u64 == b->uni.u64;
        default: return false;
    }
}

namespace {

// Key tables of a large object pair, so matching members costs no scan.
template <class B>
struct je_diff_index {
    je_key_table a_keys;
    je_key_table b_keys;
    std::vector<B *> b_first;  // first b value per b key
};

// One container pair on the walk. Objects run two phases: a's members
// (matched in b), then b's members missing from a. Arrays step both sides
// by index. The cursors point at the current key or element of each side.
template <class A, class B>
struct je_diff_frame {
    A *a;
    B *b;
    A *cur_a;
    B *cur_b;
    size_t i;       // members done in this phase, or the array index
    size_t n;       // members of this phase, or the longer array's size
    uint32_t plen;  // length of this container's path
    bool is_obj;
    bool b_phase;
    int32_t index;  // position in the index stack, or -1 for scanning
};

template <class A, class B>
class je_diff_walker {
public:
    // Walks the pair. Once the table is full nothing more can be recorded,
    // so the walk ends there. Throws std::bad_alloc when its stack cannot grow.
    void run(A *a, B *b) {
        path_ = "$";
        visit(a, b);
        while (!stack_.empty() && je_ndiff < JE_DIFF_CAP) step();
    }

private:
    std::string path_;
    using frame = je_diff_frame<A, B>;
    std::vector<frame> stack_;
    std::vector<std::unique_ptr<je_diff_index<B>>> indexes_;

    void visit(A *a, B *b) {
        if (!a && !b) return;
        if (!a) return je_diff_add(path_, "added", a, b);
        if (!b) return je_diff_add(path_, "removed", a, b);
        bool objs = je_is_obj(a) && je_is_obj(b);
        if (objs || (je_is_arr(a) && je_is_arr(b))) return push(a, b, objs);
        if (!je_scalar_equal(a, b)) je_diff_add(path_, "changed", a, b);
    }

    void push(A *a, B *b, bool is_obj) {
        frame f{};
        f.a = a;
        f.b = b;
        f.plen = static_cast<uint32_t>(path_.size());
        f.is_obj = is_obj;
        f.index = -1;
        if (is_obj) {
            f.cur_a = je_first_key(a);
            f.n = je_len(a);
            if (je_len(a) >= JE_KEY_INDEX_MIN || je_len(b) >= JE_KEY_INDEX_MIN) {
                f.index = static_cast<int32_t>(indexes_.size());
                indexes_.push_back(build_index(a, b));
            }
        } else {
            f.cur_a = je_first_elem(a);
            f.cur_b = je_first_elem(b);
            size_t na = je_len(a), nb = je_len(b);
            f.n = na > nb ? na : nb;
        }
        stack_.push_back(f);
    }

    static std::unique_ptr<je_diff_index<B>> build_index(A *a, B *b) {
        auto idx = std::make_unique<je_diff_index<B>>();
        je_kids<A> ka = je_kids_of(a);
        while (A *key = je_next_key(ka))
            if (idx->a_keys.find(je_key_view(key)) < 0) idx->a_keys.add(je_key_view(key));
        je_kids<B> kb = je_kids_of(b);
        while (B *key = je_next_key(kb)) {
            if (idx->b_keys.find(je_key_view(key)) >= 0) continue;
            idx->b_keys.add(je_key_view(key));
            idx->b_first.push_back(je_key_val(key));
        }
        return idx;
    }

    // First member of b with the key's exact bytes.
    B *find_in_b(const frame &f, A *key) const {
        if (f.index < 0) return je_obj_find(f.b, je_str(key), je_len(key));
        const je_diff_index<B> &idx = *indexes_[static_cast<size_t>(f.index)];
        int32_t at = idx.b_keys.find(je_key_view(key));
        return at < 0 ? nullptr : idx.b_first[static_cast<size_t>(at)];
    }

    bool a_has(const frame &f, B *key) const {
        if (f.index < 0) return je_obj_find(f.a, je_str(key), je_len(key)) != nullptr;
        return indexes_[static_cast<size_t>(f.index)]->a_keys.find(je_key_view(key)) >= 0;
    }

    void pop() {
        if (stack_.back().index >= 0) indexes_.pop_back();
        stack_.pop_back();
    }

    // Handles the next child of the innermost pair. The frame is advanced
    // before visiting, since visiting may push a frame and move the stack.
    void step() {
        frame &f = stack_.back();
        path_.resize(f.plen);
        if (f.is_obj) {
            if (!f.b_phase && f.i == f.n) {
                f.b_phase = true;
                f.i = 0;
                f.n = je_len(f.b);
                f.cur_b = je_first_key(f.b);
            }
            if (f.i == f.n) return pop();
            ++f.i;
            if (!f.b_phase) {
                A *key = f.cur_a;
                if (f.i < f.n) f.cur_a = je_next_key(key);
                je_path_key(path_, key);
                B *vb = find_in_b(f, key);
                return visit(je_key_val(key), vb);
            }
            B *key = f.cur_b;
            if (f.i < f.n) f.cur_b = je_next_key(key);
            if (a_has(f, key)) return;
            je_path_key(path_, key);
            return je_diff_add(path_, "added", static_cast<A *>(nullptr), je_key_val(key));
        }
        if (f.i == f.n) return pop();
        size_t na = je_len(f.a), nb = je_len(f.b);
        A *va = f.i < na ? f.cur_a : nullptr;
        B *vb = f.i < nb ? f.cur_b : nullptr;
        if (va && f.i + 1 < na) f.cur_a = je_elem_after(va);
        if (vb && f.i + 1 < nb) f.cur_b = je_elem_after(vb);
        je_path_index(path_, f.i++);
        visit(va, vb);
    }
};

}  // namespace

extern "C" JSONENGINE_API int json_diff(const char *other) {
    je_err_clear();
    je_ndiff = 0;
    je_diff_texts.clear();
    return je_guard(-1, [&] {
        if (!je_doc_ensure()) {
            je_set_error("no document loaded");
            return -1;
        }
        // The other document lives only for this call.
        const char *message = nullptr;
        je_doc_guard other_doc(je_read_value(other, &message));
        if (!other_doc.d) {
            je_set_errorf("diff target: %s", message ? message : "invalid JSON");
            return -1;
        }
        yyjson_val *value = yyjson_doc_get_root(other_doc.d);
        try {
            je_with_root([&](auto *root) {
                je_diff_walker<std::remove_pointer_t<decltype(root)>, yyjson_val> walker;
                walker.run(root, value);
            });
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
        JE_LARGE_STATIC static char out_path[JE_DIFF_OUT_TEXT];
        static char out_type[JE_DIFF_OUT_TYPE];
        JE_LARGE_STATIC static char out_a[JE_DIFF_OUT_TEXT];
        JE_LARGE_STATIC static char out_b[JE_DIFF_OUT_TEXT];
        if (!field || index < 0 || index >= je_ndiff) return je_empty;
        const je_diff_entry &row = je_diff[index];
        char *out;
        const char *src;
        size_t size;
        if (strcmp(field, "path") == 0) {
            out = out_path, src = je_diff_texts.at(row.path), size = sizeof out_path;
        } else if (strcmp(field, "type") == 0) {
            out = out_type, src = row.type, size = sizeof out_type;
        } else if (strcmp(field, "a") == 0) {
            out = out_a, src = je_diff_texts.at(row.a), size = sizeof out_a;
        } else if (strcmp(field, "b") == 0) {
            out = out_b, src = je_diff_texts.at(row.b), size = sizeof out_b;
        } else {
            return je_empty;
        }
        je_copy_field(out, size, src);
        return out;
    });
}
