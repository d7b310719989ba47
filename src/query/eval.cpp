// The query evaluator over the loaded document, whichever tree holds it:
// the value pool, evaluation sets, stages applied breadth-first, steps
// applied one at a time over the whole ordered set (so neither the number
// of steps nor the document's depth adds stack), filter tests and the
// three-way comparison.
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include "je_query.h"

// ---- value pool ----------------------------------------------------------------

static void je_oom() { je_set_error("out of memory"); }

yyjson_mut_doc *je_pool_doc(je_pool *pool) {
    if (!pool->doc) pool->doc = yyjson_mut_doc_new(nullptr);
    return pool->doc;
}

void je_pool_free(je_pool *pool) {
    yyjson_mut_doc_free(pool->doc);
    pool->doc = nullptr;
    pool->blocks.clear();
}

yyjson_mut_val *je_make_numdoc(uint64_t n, je_pool *pool) {
    yyjson_mut_doc *doc = je_pool_doc(pool);
    yyjson_mut_val *v = doc ? yyjson_mut_uint(doc, n) : nullptr;
    if (!v) je_oom();
    return v;
}

yyjson_mut_val *je_make_lit(const je_operand *lit, je_pool *pool) {
    yyjson_mut_doc *doc = je_pool_doc(pool);
    yyjson_mut_val *v = nullptr;
    if (doc) {
        switch (lit->lit) {
            case JE_LIT_NUMBER: {
                double n = lit->num;
                // Integral numbers in the signed 64-bit range (so 1.0 and -0.0)
                // become integers; everything else, NaN and infinities too, a real.
                if (std::trunc(n) == n && n >= -9223372036854775808.0 && n < 9223372036854775808.0)
                    v = yyjson_mut_sint(doc, static_cast<int64_t>(n));
                else
                    v = yyjson_mut_real(doc, n);
                break;
            }
            case JE_LIT_STRING: v = yyjson_mut_strcpy(doc, lit->str); break;
            case JE_LIT_BOOL: v = yyjson_mut_bool(doc, lit->bval); break;
            case JE_LIT_NULL: v = yyjson_mut_null(doc); break;
        }
    }
    if (!v) je_oom();
    return v;
}

// n immutable values owned by the pool (std::bad_alloc when memory runs out).
static yyjson_val *je_pool_ivals(je_pool *pool, size_t n) {
    pool->blocks.emplace_back(new yyjson_val[n]);
    return pool->blocks.back().get();
}

// A number a length step yields, in the pool's tree for V.
static yyjson_mut_val *je_pool_num(yyjson_mut_val *, uint64_t n, je_pool *pool) { return je_make_numdoc(n, pool); }
static yyjson_val *je_pool_num(yyjson_val *, uint64_t n, je_pool *pool) {
    yyjson_val *v = je_pool_ivals(pool, 1);
    v->tag = YYJSON_TYPE_NUM | YYJSON_SUBTYPE_UINT;
    v->uni.u64 = n;
    return v;
}

// The array a map stage yields: copies of vals, in order.
static yyjson_mut_val *je_pool_arr(const std::vector<yyjson_mut_val *> &vals, je_pool *pool) {
    yyjson_mut_doc *doc = je_pool_doc(pool);
    yyjson_mut_val *arr = doc ? yyjson_mut_arr(doc) : nullptr;
    if (!arr) return nullptr;
    for (yyjson_mut_val *val : vals) {
        yyjson_mut_val *copy = je_deep_copy(doc, val);
        if (!copy || !yyjson_mut_arr_append(arr, copy)) return nullptr;
    }
    return arr;
}
// An immutable array is its header followed by its elements' subtrees,
// each contiguous, so copying the subtrees after a new header makes one;
// strings keep pointing into the document or the pool.
static yyjson_val *je_pool_arr(const std::vector<yyjson_val *> &vals, je_pool *pool) {
    size_t total = 1;
    for (yyjson_val *v : vals) total += static_cast<size_t>(unsafe_yyjson_get_next(v) - v);
    yyjson_val *arr = je_pool_ivals(pool, total);
    arr->tag = (static_cast<uint64_t>(vals.size()) << YYJSON_TAG_BIT) | YYJSON_TYPE_ARR;
    arr->uni.ofs = total * sizeof(yyjson_val);
    yyjson_val *at = arr + 1;
    for (yyjson_val *v : vals) {
        size_t n = static_cast<size_t>(unsafe_yyjson_get_next(v) - v);
        memcpy(static_cast<void *>(at), v, n * sizeof(yyjson_val));
        at += n;
    }
    return arr;
}

// ---- evaluation sets and their paths ---------------------------------------------

// Pushes value with the path of pair i of `in`, unchanged.
template <class V>
static void je_push_same(je_es_of<V> &out, V *value, const je_es_of<V> &in, size_t i) {
    out.vals.push_back(value);
    if (out.paths) out.arena.append(in.path(i), in.path_len(i));
    out.offs.push_back(out.arena.size());
}

// The path builders extend the path of plen bytes that ends the arena,
// with the whole-piece cut rule (je_tree.h): "." and the key (written up to
// its first NUL byte) are added only when the piece fits whole:
// plen + key length + 2 <= JE_PATH_SIZE.
static void je_path_field(std::string &arena, size_t plen, const char *key, size_t klen) {
    klen = je_c_len(key, klen);
    if (plen + klen + 2 > JE_PATH_SIZE) return;
    arena.push_back('.');
    arena.append(key, klen);
}

// "[index]" is added while plen + JE_QPATH_IDX_ROOM <= JE_PATH_SIZE, so index
// pieces stop once the path is longer than 4072 characters.
static void je_path_idx(std::string &arena, size_t plen, size_t index) {
    if (plen + JE_QPATH_IDX_ROOM > JE_PATH_SIZE) return;
    char piece[32];
    char *end = piece + sizeof piece;
    char *q = end;
    *--q = ']';
    do {
        *--q = static_cast<char>('0' + index % 10);
        index /= 10;
    } while (index);
    *--q = '[';
    arena.append(q, static_cast<size_t>(end - q));
}

// Pushes value with pair i's path extended by a member piece.
template <class V>
static void je_push_key(je_es_of<V> &out, V *value, const je_es_of<V> &in, size_t i, const char *key, size_t klen) {
    out.vals.push_back(value);
    if (out.paths) {
        size_t plen = in.path_len(i);
        out.arena.append(in.path(i), plen);
        je_path_field(out.arena, plen, key, klen);
    }
    out.offs.push_back(out.arena.size());
}

// Pushes value with pair i's path extended by an index piece.
template <class V>
static void je_push_idx(je_es_of<V> &out, V *value, const je_es_of<V> &in, size_t i, size_t index) {
    out.vals.push_back(value);
    if (out.paths) {
        size_t plen = in.path_len(i);
        out.arena.append(in.path(i), plen);
        je_path_idx(out.arena, plen, index);
    }
    out.offs.push_back(out.arena.size());
}

// ---- values ----------------------------------------------------------------------------

// Byte length of a string, element or member count of a container, else 0.
template <class V>
static uint64_t je_length_of(V *v) {
    switch (je_type(v)) {
        case YYJSON_TYPE_STR:
        case YYJSON_TYPE_ARR:
        case YYJSON_TYPE_OBJ: return je_len(v);
        default: return 0;
    }
}

template <class V>
static bool je_numlike(V *v) {
    yyjson_type t = je_type(v);
    return t == YYJSON_TYPE_NUM || t == YYJSON_TYPE_BOOL;
}

template <class V>
static double je_as_double(V *v) {
    if (je_type(v) == YYJSON_TYPE_BOOL) return je_subtype(v) == YYJSON_SUBTYPE_TRUE ? 1.0 : 0.0;
    switch (je_subtype(v)) {
        case YYJSON_SUBTYPE_UINT: return static_cast<double>(v->uni.u64);
        case YYJSON_SUBTYPE_SINT: return static_cast<double>(v->uni.i64);
        default: return v->uni.f64;
    }
}

// The class order: null, booleans and numbers, strings, arrays, objects.
template <class V>
static int je_class_of(V *v) {
    switch (je_type(v)) {
        case YYJSON_TYPE_BOOL:
        case YYJSON_TYPE_NUM: return 1;
        case YYJSON_TYPE_STR: return 2;
        case YYJSON_TYPE_ARR: return 3;
        case YYJSON_TYPE_OBJ: return 4;
        default: return 0;
    }
}

static int je_sign(size_t a, size_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

template <class V>
int je_qcmp(V *a, V *b) {
    if (je_numlike(a) && je_numlike(b)) {
        double x = je_as_double(a), y = je_as_double(b);
        return x > y ? 1 : (x < y ? -1 : 0);
    }
    int ca = je_class_of(a), cb = je_class_of(b);
    if (ca != cb) return ca < cb ? -1 : 1;
    switch (ca) {
        case 2: {
            // Strings compare up to their first NUL byte, as strcmp sees them.
            size_t na = je_c_len(je_str(a), je_len(a)), nb = je_c_len(je_str(b), je_len(b));
            int c = memcmp(je_str(a), je_str(b), na < nb ? na : nb);
            return c != 0 ? c : je_sign(na, nb);
        }
        case 3:
        case 4: return je_sign(je_len(a), je_len(b));
        default: return 0;
    }
}

template <class V>
static bool je_truthy(V *v) {
    switch (je_type(v)) {
        case YYJSON_TYPE_NULL: return false;
        case YYJSON_TYPE_BOOL: return je_subtype(v) == YYJSON_SUBTYPE_TRUE;
        case YYJSON_TYPE_NUM:
            switch (je_subtype(v)) {
                case YYJSON_SUBTYPE_UINT: return v->uni.u64 != 0;
                case YYJSON_SUBTYPE_SINT: return v->uni.i64 != 0;
                default: return v->uni.f64 != 0.0;  // NaN is true
            }
        case YYJSON_TYPE_STR: return je_len(v) != 0;
        default: return true;
    }
}

// ---- filters -------------------------------------------------------------------------------

// The value an operand stands for against v, or null when it does not
// resolve. A length ends the walk; its number goes into *scratch, which
// lives only for one test, so tests over many elements make no values. A
// literal is made once per query in the pool; over the immutable tree its
// tag and payload are lent to *scratch (a scalar is the same two words in
// both trees).
template <class V>
static V *je_resolve(je_operand *op, V *v, je_pool *pool, V *scratch) {
    if (op->kind == JE_OPND_LITERAL) {
        if (!op->val) op->val = je_make_lit(op, pool);
        if (!op->val) {
            pool->failed = true;
            return nullptr;
        }
        if constexpr (std::is_same_v<V, yyjson_mut_val>) {
            return op->val;
        } else {
            scratch->tag = op->val->tag;
            scratch->uni = op->val->uni;
            return scratch;
        }
    }
    V *cur = v;
    for (int32_t k = 0; k < op->nsteps && cur; ++k) {
        const je_qstep &s = op->steps[k];
        switch (s.kind) {
            case JE_QS_FIELD: cur = je_obj_find(cur, s.name, strlen(s.name)); break;
            case JE_QS_INDEX: cur = s.index >= 0 ? je_arr_at(cur, static_cast<size_t>(s.index)) : nullptr; break;
            case JE_QS_LENGTH:
                scratch->tag = YYJSON_TYPE_NUM | YYJSON_SUBTYPE_UINT;
                scratch->uni.u64 = je_length_of(cur);
                return scratch;
            default: return nullptr;  // wildcards and filters make the operand unresolved
        }
    }
    return cur;
}

template <class V>
bool je_cond_eval(V *value, je_qstep *filter, je_pool *pool) {
    V left_scratch{}, right_scratch{};
    V *a = je_resolve(filter->left, value, pool, &left_scratch);
    if (!a) return false;
    if (!filter->has_cmp) return je_truthy(a);
    V *b = je_resolve(filter->right, value, pool, &right_scratch);
    if (!b) return false;
    int c = je_qcmp(a, b);
    switch (filter->op) {
        case JE_CMP_EQ: return c == 0;
        case JE_CMP_NE: return c != 0;
        case JE_CMP_LT: return c < 0;
        case JE_CMP_LE: return c <= 0;
        case JE_CMP_GT: return c > 0;
        case JE_CMP_GE: return c >= 0;
    }
    return false;
}

// ---- steps and stages ----------------------------------------------------------------------

// Applies one step to every pair of `in` in order, appending to `out`.
template <class V>
static bool je_apply_step(je_qstep *s, const je_es_of<V> &in, je_es_of<V> &out, je_pool *pool) {
    size_t n = in.size();
    switch (s->kind) {
        case JE_QS_FIELD: {
            size_t klen = strlen(s->name);
            for (size_t i = 0; i < n; ++i) {
                V *m = je_obj_find(in.vals[i], s->name, klen);
                if (m) je_push_key(out, m, in, i, s->name, klen);
            }
            return true;
        }
        case JE_QS_INDEX: {
            if (s->index < 0) return true;
            size_t idx = static_cast<size_t>(s->index);
            for (size_t i = 0; i < n; ++i) {
                V *el = je_arr_at(in.vals[i], idx);
                if (el) je_push_idx(out, el, in, i, idx);
            }
            return true;
        }
        case JE_QS_WILDCARD:
            for (size_t i = 0; i < n; ++i) {
                V *v = in.vals[i];
                if (je_is_arr(v)) {
                    je_kids<V> c = je_kids_of(v);
                    for (size_t k = 0; V *el = je_next_elem(c); ++k) je_push_idx(out, el, in, i, k);
                } else if (je_is_obj(v)) {
                    je_kids<V> c = je_kids_of(v);
                    while (V *key = je_next_key(c)) je_push_key(out, je_key_val(key), in, i, je_str(key), je_len(key));
                }
            }
            return true;
        case JE_QS_LENGTH:
            for (size_t i = 0; i < n; ++i) {
                V *num = je_pool_num(static_cast<V *>(nullptr), je_length_of(in.vals[i]), pool);
                if (!num) return false;
                je_push_same(out, num, in, i);
            }
            return true;
        case JE_QS_FILTER:
            for (size_t i = 0; i < n; ++i) {
                V *v = in.vals[i];
                if (je_is_arr(v)) {
                    je_kids<V> c = je_kids_of(v);
                    for (size_t k = 0; V *el = je_next_elem(c); ++k)
                        if (je_cond_eval(el, s, pool)) je_push_idx(out, el, in, i, k);
                } else if (je_cond_eval(v, s, pool)) {
                    je_push_same(out, v, in, i);
                }
            }
            return !pool->failed;  // "out of memory" is in the error slot
    }
    return true;
}

template <class V>
static bool je_eval_set(const je_prog *prog, je_es_of<V> &cur, je_pool *pool);

// A map stage: each array input becomes one new array in the pool holding
// copies of what the sub-program yields for its elements, in order. The
// sub-program runs once over all elements together: stages keep each
// input's outputs together and in order, so that equals one run per element.
template <class V>
static bool je_apply_map(const je_stage &st, const je_es_of<V> &in, je_es_of<V> &out, je_pool *pool) {
    je_es_of<V> sub;
    sub.paths = false;  // paths inside a map are never reported
    for (size_t i = 0; i < in.size(); ++i) {
        V *v = in.vals[i];
        if (!je_is_arr(v)) continue;
        sub.clear();
        je_kids<V> c = je_kids_of(v);
        while (V *el = je_next_elem(c)) je_es_push(&sub, el, nullptr, 0);
        if (!je_eval_set(st.sub, sub, pool)) return false;
        V *arr = je_pool_arr(sub.vals, pool);
        if (!arr) return false;
        je_push_same(out, arr, in, i);
    }
    return true;
}

// Runs every stage over cur, which ends holding the last stage's pairs.
template <class V>
static bool je_eval_set(const je_prog *prog, je_es_of<V> &cur, je_pool *pool) {
    je_es_of<V> next;
    next.paths = cur.paths;
    for (int32_t si = 0; si < prog->count; ++si) {
        const je_stage &st = prog->items[si];
        if (st.kind == JE_STAGE_MAP) {
            next.clear();
            if (!je_apply_map(st, cur, next, pool)) return false;
            std::swap(cur, next);
            continue;
        }
        for (int32_t k = 0; k < st.nsteps; ++k) {
            next.clear();
            if (!je_apply_step(&st.steps[k], cur, next, pool)) return false;
            std::swap(cur, next);
        }
    }
    return true;
}

template <class V>
bool je_eval_prog(const je_prog *prog, V *value, const char *path, je_es_of<V> *out, je_pool *pool) {
    if (!value) return true;
    try {
        je_es_of<V> cur;
        cur.paths = out->paths;
        je_es_push(&cur, value, path ? path : "$", path ? strlen(path) : 1);
        if (!je_eval_set(prog, cur, pool)) return false;
        if (out->size() == 0) {
            *out = std::move(cur);
        } else {
            for (size_t i = 0; i < cur.size(); ++i) je_es_push(out, cur.vals[i], cur.path(i), cur.path_len(i));
        }
        return true;
    } catch (const std::bad_alloc &) {
        je_set_error("out of memory");
        return false;
    }
}

template bool je_eval_prog(const je_prog *, yyjson_val *, const char *, je_es_of<yyjson_val> *, je_pool *);
template bool je_eval_prog(const je_prog *, yyjson_mut_val *, const char *, je_es_of<yyjson_mut_val> *, je_pool *);
template bool je_cond_eval(yyjson_val *, je_qstep *, je_pool *);
template bool je_cond_eval(yyjson_mut_val *, je_qstep *, je_pool *);
template int je_qcmp(yyjson_val *, yyjson_val *);
template int je_qcmp(yyjson_mut_val *, yyjson_mut_val *);
