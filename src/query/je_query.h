// Internal interface of the query language: tokens and the lexer state,
// parsed programs (stages, steps, operands), the value pool, evaluation
// sets, the evaluator and the result table behind json_query*.
#pragma once

#include <yyjson.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <memory>

#include "je_tree.h"

// ---- limits ---------------------------------------------------------------

constexpr size_t JE_QIDENT_SIZE = 128;      // identifier / field name, NUL included
constexpr size_t JE_QSTR_SIZE = 512;        // string literal bytes, NUL included
constexpr int32_t JE_QMAX_NEST = 64;        // nesting of map stages and filter operands
constexpr int32_t JE_QPROG_FIRST_CAP = 4;   // first stage array of a program
constexpr int32_t JE_QSTEPS_FIRST_CAP = 4;  // first step array of a path
constexpr int32_t JE_QMAX_RESULTS = 4000;   // rows of the result table
constexpr size_t JE_QFIELD_SIZE = 12288;    // json_query_field buffers, NUL included
constexpr size_t JE_QPATH_IDX_ROOM = 24;    // room an index piece needs in a path
static_assert(JSONENGINE_QUERY_MAX_RESULTS == JE_QMAX_RESULTS);
static_assert(JSONENGINE_QUERY_VALUE_MAX == JE_QFIELD_SIZE - 1);
static_assert(JSONENGINE_QUERY_MAX_NESTING == JE_QMAX_NEST);
static_assert(JSONENGINE_QUERY_NAME_MAX == JE_QIDENT_SIZE - 1);
static_assert(JSONENGINE_QUERY_STRING_MAX == JE_QSTR_SIZE - 1);

// ---- lexer ------------------------------------------------------------------

enum je_tok : int32_t {
    JE_TOK_END = 0,
    JE_TOK_DOLLAR = 1,
    JE_TOK_DOT = 2,
    JE_TOK_LBRACKET = 3,
    JE_TOK_RBRACKET = 4,
    JE_TOK_LPAREN = 5,
    JE_TOK_RPAREN = 6,
    JE_TOK_PIPE = 7,
    JE_TOK_QUESTION = 8,
    JE_TOK_IDENT = 9,
    JE_TOK_NUMBER = 10,
    JE_TOK_STRING = 11,
    JE_TOK_EQ = 12,
    JE_TOK_NE = 13,
    JE_TOK_LT = 14,
    JE_TOK_LE = 15,
    JE_TOK_GT = 16,
    JE_TOK_GE = 17,
};

// One query's scanning state: the current token and where scanning goes on.
// ident and str hold their text only while the current token is of their kind.
struct je_parser {
    const char *pos;
    je_tok kind;
    char ident[JE_QIDENT_SIZE];
    char str[JE_QSTR_SIZE];
    double num;
    int32_t nest;  // map stages and filter operands open around the parse point
};

// Reads the next token into p; false with a message on a lexical error.
bool je_p_next(je_parser *p);

// ---- programs ---------------------------------------------------------------

enum je_opnd_kind : int32_t { JE_OPND_LITERAL = 0, JE_OPND_PATH = 1 };
enum je_lit_kind : int32_t { JE_LIT_NUMBER = 0, JE_LIT_STRING = 1, JE_LIT_BOOL = 2, JE_LIT_NULL = 3 };
enum je_qstep_kind : int32_t {
    JE_QS_FIELD = 0,
    JE_QS_INDEX = 1,
    JE_QS_WILDCARD = 2,
    JE_QS_LENGTH = 3,
    JE_QS_FILTER = 4
};
enum je_cmp : int32_t { JE_CMP_EQ = 0, JE_CMP_NE = 1, JE_CMP_LT = 2, JE_CMP_LE = 3, JE_CMP_GT = 4, JE_CMP_GE = 5 };
enum je_stage_kind : int32_t { JE_STAGE_PATH = 0, JE_STAGE_MAP = 1 };

struct je_qstep;

struct je_operand {
    je_opnd_kind kind;
    je_lit_kind lit;
    double num;
    char str[JE_QSTR_SIZE];
    bool bval;
    je_qstep *steps;
    int32_t nsteps;
    int32_t cap;          // steps allocated (the array grows geometrically)
    yyjson_mut_val *val;  // literal value, made on first use, owned by the pool
};

struct je_qstep {
    je_qstep_kind kind;
    char name[JE_QIDENT_SIZE];
    int32_t index;
    je_operand *left;
    je_operand *right;
    bool has_cmp;
    je_cmp op;
};

struct je_prog;

struct je_stage {
    je_stage_kind kind;
    je_qstep *steps;
    int32_t nsteps;
    je_prog *sub;
};

struct je_prog {
    je_stage *items;
    int32_t count;
    int32_t cap;
};

bool je_parse_prog(je_parser *p, je_prog *prog);
bool je_parse_operand(je_parser *p, je_operand **out);
bool je_prog_push(je_prog *prog, const je_stage *stage);
void je_ast_free_prog(je_prog *prog);
void je_operand_free(je_operand *op);

// Frees a program on every exit path.
struct je_prog_guard {
    je_prog *prog;
    explicit je_prog_guard(je_prog *p) : prog(p) {}
    ~je_prog_guard() { je_ast_free_prog(prog); }
    je_prog_guard(const je_prog_guard &) = delete;
    je_prog_guard &operator=(const je_prog_guard &) = delete;
};

// ---- value pool ----------------------------------------------------------------

// Values a query makes (lengths, map arrays, literals) live in one pool per
// query, made on first use and freed when the query ends: a mutable
// document for queries over the mutable tree (and for literals), blocks of
// immutable values for queries over the loaded immutable tree. `failed`
// records a literal that could not be made during a filter test, which ends
// the evaluation instead of silently failing the tests.
struct je_pool {
    yyjson_mut_doc *doc;
    bool failed;
    std::vector<std::unique_ptr<yyjson_val[]>> blocks;
};

// The pool's document, made on first use; null when memory runs out.
yyjson_mut_doc *je_pool_doc(je_pool *pool);
void je_pool_free(je_pool *pool);

struct je_pool_guard {
    je_pool pool{nullptr, false, {}};
    je_pool_guard() = default;
    ~je_pool_guard() { je_pool_free(&pool); }
    je_pool_guard(const je_pool_guard &) = delete;
    je_pool_guard &operator=(const je_pool_guard &) = delete;
};

// The unsigned integer n in the pool; null with "out of memory".
yyjson_mut_val *je_make_numdoc(uint64_t n, je_pool *pool);
// The value of a literal operand in the pool; null with "out of memory".
yyjson_mut_val *je_make_lit(const je_operand *lit, je_pool *pool);

// ---- evaluation -------------------------------------------------------------------

// An ordered list of (value, path) pairs over one tree (V is yyjson_val or
// yyjson_mut_val). Paths lie back to back in one arena (pair i is
// arena[offs[i], offs[i + 1])), so a pair costs its path's length and no
// allocation of its own. Without paths (inside map stages, whose paths
// nobody sees) the arena stays empty.
template <class V>
struct je_es_of {
    std::vector<V *> vals;
    std::vector<size_t> offs{0};
    std::string arena;
    bool paths = true;

    size_t size() const { return vals.size(); }
    const char *path(size_t i) const { return arena.data() + offs[i]; }
    size_t path_len(size_t i) const { return offs[i + 1] - offs[i]; }
    void clear() {
        vals.clear();
        offs.assign(1, 0);
        arena.clear();
    }
};
using je_es = je_es_of<yyjson_mut_val>;

// Appends (value, path) to out; an absent value is ignored.
template <class V>
void je_es_push(je_es_of<V> *es, V *value, const char *path, size_t len) {
    if (!value) return;
    es->vals.push_back(value);
    if (es->paths) es->arena.append(path, len < JE_PATH_MAX ? len : JE_PATH_MAX);
    es->offs.push_back(es->arena.size());
}

// Runs prog from (value, path) and appends the final pairs to out. False when
// evaluation failed; the error slot then holds a message or is empty.
// Instantiated for both trees.
template <class V>
bool je_eval_prog(const je_prog *prog, V *value, const char *path, je_es_of<V> *out, je_pool *pool);
// The outcome of a filter step's test on one value; a literal that cannot
// be made fails the test and sets pool->failed.
template <class V>
bool je_cond_eval(V *value, je_qstep *filter, je_pool *pool);
// Three-way comparison of two values of one tree: only the sign counts.
template <class V>
int je_qcmp(V *a, V *b);

// ---- result table -------------------------------------------------------------------

// The path is a block of its own, as long as the path: a row costs the
// bytes of its result, and a short query's results share a few pages.
struct je_qentry {
    yyjson_doc *doc;
    char *path;  // NUL-terminated, at most JE_PATH_MAX bytes
};

extern je_qentry je_q[JE_QMAX_RESULTS];
extern int32_t je_qn;

void je_qreset();
// Appends a detached copy of value with its path; false when refused.
template <class V>
bool je_qadd(V *value, const char *path, size_t path_len);
