// The query evaluator over the live engine document: evaluation sets,
// stages applied breadth-first, steps applied one at a time over the whole
// ordered set (so neither the number of steps nor the document's depth
// adds stack), filter tests and the three-way comparison.
#include <cstring>
#include <utility>

#include "je_query.h"

// ---- evaluation sets and their paths ---------------------------------------------

void je_es_push(je_es *es, yyjson_mut_val *value, const char *path, size_t len) {
    if (!value) return;
    es->vals.push_back(value);
    if (es->paths) es->arena.append(path, len < JE_PATH_MAX ? len : JE_PATH_MAX);
    es->offs.push_back(es->arena.size());
}

// Pushes value with the path of pair i of `in`, unchanged.
static void je_push_same(je_es &out, yyjson_mut_val *value, const je_es &in, size_t i) {
    out.vals.push_back(value);
    if (out.paths) out.arena.append(in.path(i), in.path_len(i));
    out.offs.push_back(out.arena.size());
}

// The path builders extend the path of plen bytes that ends the arena.
// "." and the key (written up to its first NUL byte) are added only when the
// piece fits whole: plen + key length + 2 <= JE_PATH_SIZE.
static void je_path_field(std::string &arena, size_t plen, const char *key, size_t klen) {
    const void *nul = memchr(key, '\0', klen);
    if (nul) klen = static_cast<size_t>(static_cast<const char *>(nul) - key);
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
static void je_push_key(je_es &out, yyjson_mut_val *value, const je_es &in, size_t i, const char *key, size_t klen) {
    out.vals.push_back(value);
    if (out.paths) {
        size_t plen = in.path_len(i);
        out.arena.append(in.path(i), plen);
        je_path_field(out.arena, plen, key, klen);
    }
    out.offs.push_back(out.arena.size());
}

// Pushes value with pair i's path extended by an index piece.
static void je_push_idx(je_es &out, yyjson_mut_val *value, const je_es &in, size_t i, size_t index) {
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
static uint64_t je_length_of(yyjson_mut_val *v) {
    switch (yyjson_mut_get_type(v)) {
        case YYJSON_TYPE_STR: return yyjson_mut_get_len(v);
        case YYJSON_TYPE_ARR: return yyjson_mut_arr_size(v);
        case YYJSON_TYPE_OBJ: return yyjson_mut_obj_size(v);
        default: return 0;
    }
}

static bool je_numlike(yyjson_mut_val *v) { return yyjson_mut_is_num(v) || yyjson_mut_is_bool(v); }

static double je_as_double(yyjson_mut_val *v) {
    if (yyjson_mut_is_bool(v)) return yyjson_mut_get_bool(v) ? 1.0 : 0.0;
    switch (yyjson_mut_get_subtype(v)) {
        case YYJSON_SUBTYPE_UINT: return static_cast<double>(yyjson_mut_get_uint(v));
        case YYJSON_SUBTYPE_SINT: return static_cast<double>(yyjson_mut_get_sint(v));
        default: return yyjson_mut_get_real(v);
    }
}

// The class order: null, booleans and numbers, strings, arrays, objects.
static int je_class_of(yyjson_mut_val *v) {
    switch (yyjson_mut_get_type(v)) {
        case YYJSON_TYPE_BOOL:
        case YYJSON_TYPE_NUM: return 1;
        case YYJSON_TYPE_STR: return 2;
        case YYJSON_TYPE_ARR: return 3;
        case YYJSON_TYPE_OBJ: return 4;
        default: return 0;
    }
}

// Length of a string up to its first NUL byte, as strcmp sees it.
static size_t je_c_len(yyjson_mut_val *v) {
    const char *s = yyjson_mut_get_str(v);
    size_t n = yyjson_mut_get_len(v);
    const void *nul = memchr(s, '\0', n);
    return nul ? static_cast<size_t>(static_cast<const char *>(nul) - s) : n;
}

static int je_sign(size_t a, size_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

int je_qcmp(yyjson_mut_val *a, yyjson_mut_val *b) {
    if (je_numlike(a) && je_numlike(b)) {
        double x = je_as_double(a), y = je_as_double(b);
        return x > y ? 1 : (x < y ? -1 : 0);
    }
    int ca = je_class_of(a), cb = je_class_of(b);
    if (ca != cb) return ca < cb ? -1 : 1;
    switch (ca) {
        case 2: {
            size_t na = je_c_len(a), nb = je_c_len(b);
            int c = memcmp(yyjson_mut_get_str(a), yyjson_mut_get_str(b), na < nb ? na : nb);
            return c != 0 ? c : je_sign(na, nb);
        }
        case 3: return je_sign(yyjson_mut_arr_size(a), yyjson_mut_arr_size(b));
        case 4: return je_sign(yyjson_mut_obj_size(a), yyjson_mut_obj_size(b));
        default: return 0;
    }
}

static bool je_truthy(yyjson_mut_val *v) {
    switch (yyjson_mut_get_type(v)) {
        case YYJSON_TYPE_NULL: return false;
        case YYJSON_TYPE_BOOL: return yyjson_mut_get_bool(v);
        case YYJSON_TYPE_NUM:
            switch (yyjson_mut_get_subtype(v)) {
                case YYJSON_SUBTYPE_UINT: return yyjson_mut_get_uint(v) != 0;
                case YYJSON_SUBTYPE_SINT: return yyjson_mut_get_sint(v) != 0;
                default: return yyjson_mut_get_real(v) != 0.0;  // NaN is true
            }
        case YYJSON_TYPE_STR: return yyjson_mut_get_len(v) != 0;
        default: return true;
    }
}

// ---- filters -------------------------------------------------------------------------------

// The value an operand stands for against v, or null when it does not
// resolve. A length ends the walk; its number goes into *scratch, which
// lives only for one test, so tests over many elements make no values.
static yyjson_mut_val *je_resolve(je_operand *op, yyjson_mut_val *v, je_pool *pool, yyjson_mut_val *scratch) {
    if (op->kind == JE_OPND_LITERAL) {
        if (!op->val) op->val = je_make_lit(op, pool);
        if (!op->val) pool->failed = true;
        return op->val;
    }
    yyjson_mut_val *cur = v;
    for (int32_t k = 0; k < op->nsteps && cur; ++k) {
        const je_qstep &s = op->steps[k];
        switch (s.kind) {
            case JE_QS_FIELD: cur = je_obj_find(cur, s.name, strlen(s.name)); break;
            case JE_QS_INDEX:
                cur =
                    (yyjson_mut_is_arr(cur) && s.index >= 0 && static_cast<size_t>(s.index) < yyjson_mut_arr_size(cur))
                        ? yyjson_mut_arr_get(cur, static_cast<size_t>(s.index))
                        : nullptr;
                break;
            case JE_QS_LENGTH: yyjson_mut_set_uint(scratch, je_length_of(cur)); return scratch;
            default: return nullptr;  // wildcards and filters make the operand unresolved
        }
    }
    return cur;
}

bool je_cond_eval(yyjson_mut_val *value, je_qstep *filter, je_pool *pool) {
    yyjson_mut_val left_scratch{}, right_scratch{};
    yyjson_mut_val *a = je_resolve(filter->left, value, pool, &left_scratch);
    if (!a) return false;
    if (!filter->has_cmp) return je_truthy(a);
    yyjson_mut_val *b = je_resolve(filter->right, value, pool, &right_scratch);
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
static bool je_apply_step(je_qstep *s, const je_es &in, je_es &out, je_pool *pool) {
    size_t n = in.size();
    switch (s->kind) {
        case JE_QS_FIELD: {
            size_t klen = strlen(s->name);
            for (size_t i = 0; i < n; ++i) {
                yyjson_mut_val *m = je_obj_find(in.vals[i], s->name, klen);
                if (m) je_push_key(out, m, in, i, s->name, klen);
            }
            return true;
        }
        case JE_QS_INDEX: {
            if (s->index < 0) return true;
            size_t idx = static_cast<size_t>(s->index);
            for (size_t i = 0; i < n; ++i) {
                yyjson_mut_val *v = in.vals[i];
                if (yyjson_mut_is_arr(v) && idx < yyjson_mut_arr_size(v))
                    je_push_idx(out, yyjson_mut_arr_get(v, idx), in, i, idx);
            }
            return true;
        }
        case JE_QS_WILDCARD:
            for (size_t i = 0; i < n; ++i) {
                yyjson_mut_val *v = in.vals[i];
                if (yyjson_mut_is_arr(v)) {
                    yyjson_mut_arr_iter it = yyjson_mut_arr_iter_with(v);
                    yyjson_mut_val *el;
                    for (size_t k = 0; (el = yyjson_mut_arr_iter_next(&it)); ++k) je_push_idx(out, el, in, i, k);
                } else if (yyjson_mut_is_obj(v)) {
                    yyjson_mut_obj_iter it = yyjson_mut_obj_iter_with(v);
                    yyjson_mut_val *key;
                    while ((key = yyjson_mut_obj_iter_next(&it)))
                        je_push_key(out, yyjson_mut_obj_iter_get_val(key), in, i, yyjson_mut_get_str(key),
                                    yyjson_mut_get_len(key));
                }
            }
            return true;
        case JE_QS_LENGTH:
            for (size_t i = 0; i < n; ++i) {
                yyjson_mut_val *num = je_make_numdoc(je_length_of(in.vals[i]), pool);
                if (!num) return false;
                je_push_same(out, num, in, i);
            }
            return true;
        case JE_QS_FILTER:
            for (size_t i = 0; i < n; ++i) {
                yyjson_mut_val *v = in.vals[i];
                if (yyjson_mut_is_arr(v)) {
                    yyjson_mut_arr_iter it = yyjson_mut_arr_iter_with(v);
                    yyjson_mut_val *el;
                    for (size_t k = 0; (el = yyjson_mut_arr_iter_next(&it)); ++k)
                        if (je_cond_eval(el, s, pool)) je_push_idx(out, el, in, i, k);
                } else if (je_cond_eval(v, s, pool)) {
                    je_push_same(out, v, in, i);
                }
            }
            return !pool->failed;  // "out of memory" is in the error slot
    }
    return true;
}

static bool je_eval_set(const je_prog *prog, je_es &cur, je_pool *pool);

// A map stage: each array input becomes one new array in the pool holding
// copies of what the sub-program yields for its elements, in order. The
// sub-program runs once over all elements together: stages keep each
// input's outputs together and in order, so that equals one run per element.
static bool je_apply_map(const je_stage &st, const je_es &in, je_es &out, je_pool *pool) {
    je_es sub;
    sub.paths = false;  // paths inside a map are never reported
    for (size_t i = 0; i < in.size(); ++i) {
        yyjson_mut_val *v = in.vals[i];
        if (!yyjson_mut_is_arr(v)) continue;
        sub.clear();
        yyjson_mut_arr_iter it = yyjson_mut_arr_iter_with(v);
        yyjson_mut_val *el;
        while ((el = yyjson_mut_arr_iter_next(&it))) je_es_push(&sub, el, nullptr, 0);
        if (!je_eval_set(st.sub, sub, pool)) return false;
        yyjson_mut_doc *doc = je_pool_doc(pool);
        yyjson_mut_val *arr = doc ? yyjson_mut_arr(doc) : nullptr;
        if (!arr) return false;
        for (yyjson_mut_val *val : sub.vals) {
            yyjson_mut_val *copy = je_deep_copy(doc, val);
            if (!copy || !yyjson_mut_arr_append(arr, copy)) return false;
        }
        je_push_same(out, arr, in, i);
    }
    return true;
}

// Runs every stage over cur, which ends holding the last stage's pairs.
static bool je_eval_set(const je_prog *prog, je_es &cur, je_pool *pool) {
    je_es next;
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

bool je_eval_prog(const je_prog *prog, yyjson_mut_val *value, const char *path, je_es *out, je_pool *pool) {
    if (!value) return true;
    try {
        je_es cur;
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
