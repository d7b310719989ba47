// The query parser (recursive descent with one token of look-ahead), the
// program records it builds and frees, and the value pool with the two
// makers of query values.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "je_query.h"

static void je_oom() { je_set_error("out of memory"); }

// Map stages and filter operands recurse in the parser, in freeing and in
// the evaluator, so their nesting is bounded; steps and stages are not.
static bool je_nest_enter(je_parser *p) {
    if (p->nest >= JE_QMAX_NEST) {
        je_set_error("query: nesting too deep");
        return false;
    }
    ++p->nest;
    return true;
}

static void je_nest_leave(je_parser *p) { --p->nest; }

static bool je_is_cmp(je_tok kind) { return kind >= JE_TOK_EQ && kind <= JE_TOK_GE; }

// Indexes truncate toward zero; a number outside 32 bits (or NaN) becomes -1,
// which selects nothing, like any negative index.
static int32_t je_index_of(double n) {
    if (!(n > -2147483649.0 && n < 2147483648.0)) return -1;
    return static_cast<int32_t>(n);
}

static void je_step_free_ops(je_qstep *st) {
    je_operand_free(st->left);
    je_operand_free(st->right);
    st->left = st->right = nullptr;
}

static void je_steps_free(je_qstep *steps, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        if (steps[i].kind == JE_QS_FILTER) je_step_free_ops(&steps[i]);
    free(steps);
}

void je_operand_free(je_operand *op) {
    if (!op) return;
    je_steps_free(op->steps, op->nsteps);
    free(op);
}

// Appends a step; the array doubles so that long paths parse in linear time.
static bool je_steps_push(je_operand *op, const je_qstep *st) {
    if (op->nsteps == op->cap) {
        if (op->cap > INT32_MAX / 2) {
            je_oom();
            return false;
        }
        int32_t cap = op->cap ? op->cap * 2 : JE_QSTEPS_FIRST_CAP;
        void *grown = realloc(op->steps, static_cast<size_t>(cap) * sizeof(je_qstep));
        if (!grown) {
            je_oom();
            return false;
        }
        op->steps = static_cast<je_qstep *>(grown);
        op->cap = cap;
    }
    op->steps[op->nsteps++] = *st;
    return true;
}

static void je_head_step(const char *ident, je_qstep *st) {
    if (strcmp(ident, "length") == 0) {
        st->kind = JE_QS_LENGTH;
    } else {
        st->kind = JE_QS_FIELD;
        je_copy_field(st->name, sizeof st->name, ident);
    }
}

// The "[?" of a filter is consumed; parses up to and including its "]".
static bool je_parse_filter(je_parser *p, je_qstep *st) {
    st->kind = JE_QS_FILTER;
    if (!je_nest_enter(p)) return false;
    bool ok = je_parse_operand(p, &st->left);
    if (ok && je_is_cmp(p->kind)) {
        st->has_cmp = true;
        st->op = static_cast<je_cmp>(p->kind - JE_TOK_EQ);
        ok = je_p_next(p) && je_parse_operand(p, &st->right);
    }
    je_nest_leave(p);
    if (ok && p->kind != JE_TOK_RBRACKET) {
        je_set_error("query: expected ']' after filter");
        ok = false;
    }
    return ok;
}

// The number of an index step is current; parses up to and including "]".
static bool je_parse_index(je_parser *p, je_qstep *st) {
    st->kind = JE_QS_INDEX;
    st->index = je_index_of(p->num);
    if (!je_p_next(p)) return false;
    if (p->kind != JE_TOK_RBRACKET) {
        je_set_error("query: expected ']' after index");
        return false;
    }
    return true;
}

// One step from its "." or "[" to its last token, which stays current.
static bool je_parse_step(je_parser *p, je_qstep *st) {
    bool dot = p->kind == JE_TOK_DOT;
    if (!je_p_next(p)) return false;
    if (dot) {
        if (p->kind == JE_TOK_IDENT) {
            je_head_step(p->ident, st);
            return true;
        }
        if (p->kind != JE_TOK_LBRACKET) {
            je_set_error("query: expected field name after '.'");
            return false;
        }
        if (!je_p_next(p)) return false;
        if (p->kind == JE_TOK_RBRACKET) {
            st->kind = JE_QS_WILDCARD;
            return true;
        }
        if (p->kind == JE_TOK_NUMBER) return je_parse_index(p, st);
        je_set_error("query: expected index or ']' after '.'");
        return false;
    }
    if (p->kind == JE_TOK_QUESTION) return je_p_next(p) && je_parse_filter(p, st);
    if (p->kind == JE_TOK_RBRACKET) {
        st->kind = JE_QS_WILDCARD;
        return true;
    }
    if (p->kind == JE_TOK_NUMBER) return je_parse_index(p, st);
    je_set_error("query: expected index or filter in '['");
    return false;
}

static bool je_parse_steps(je_parser *p, je_operand *op) {
    while (p->kind == JE_TOK_DOT || p->kind == JE_TOK_LBRACKET) {
        je_qstep st{};
        if (!je_parse_step(p, &st) || !je_p_next(p) || !je_steps_push(op, &st)) {
            je_step_free_ops(&st);
            return false;
        }
    }
    return true;
}

static bool je_parse_operand_into(je_parser *p, je_operand *op) {
    switch (p->kind) {
        case JE_TOK_NUMBER:
            op->kind = JE_OPND_LITERAL;
            op->lit = JE_LIT_NUMBER;
            op->num = p->num;
            return je_p_next(p);
        case JE_TOK_STRING:
            op->kind = JE_OPND_LITERAL;
            op->lit = JE_LIT_STRING;
            je_copy_field(op->str, sizeof op->str, p->str);
            return je_p_next(p);
        case JE_TOK_IDENT: {
            if (strcmp(p->ident, "true") == 0 || strcmp(p->ident, "false") == 0) {
                op->kind = JE_OPND_LITERAL;
                op->lit = JE_LIT_BOOL;
                op->bval = p->ident[0] == 't';
                return je_p_next(p);
            }
            if (strcmp(p->ident, "null") == 0) {
                op->kind = JE_OPND_LITERAL;
                op->lit = JE_LIT_NULL;
                return je_p_next(p);
            }
            op->kind = JE_OPND_PATH;
            je_qstep st{};
            je_head_step(p->ident, &st);
            if (!je_steps_push(op, &st) || !je_p_next(p)) return false;
            return je_parse_steps(p, op);
        }
        case JE_TOK_DOLLAR:
            op->kind = JE_OPND_PATH;
            if (!je_p_next(p)) return false;
            if (p->kind == JE_TOK_IDENT) {
                je_qstep st{};
                je_head_step(p->ident, &st);
                if (!je_steps_push(op, &st) || !je_p_next(p)) return false;
            }
            return je_parse_steps(p, op);
        case JE_TOK_DOT:
        case JE_TOK_LBRACKET: op->kind = JE_OPND_PATH; return je_parse_steps(p, op);
        default: je_set_error("query: operand must start with '$', '.' or a literal"); return false;
    }
}

bool je_parse_operand(je_parser *p, je_operand **out) {
    auto *op = static_cast<je_operand *>(calloc(1, sizeof(je_operand)));
    if (!op) {
        je_oom();
        return false;
    }
    if (!je_parse_operand_into(p, op)) {
        je_operand_free(op);
        return false;
    }
    *out = op;
    return true;
}

bool je_prog_push(je_prog *prog, const je_stage *stage) {
    if (prog->count == prog->cap) {
        if (prog->cap > INT32_MAX / 2) {
            je_oom();
            return false;
        }
        int32_t cap = prog->cap ? prog->cap * 2 : JE_QPROG_FIRST_CAP;
        void *grown = realloc(prog->items, static_cast<size_t>(cap) * sizeof(je_stage));
        if (!grown) {
            je_oom();
            return false;
        }
        prog->items = static_cast<je_stage *>(grown);
        prog->cap = cap;
    }
    prog->items[prog->count++] = *stage;
    return true;
}

static void je_stage_free(je_stage *st) {
    je_steps_free(st->steps, st->nsteps);
    st->steps = nullptr;
    st->nsteps = 0;
    if (st->sub) {
        je_ast_free_prog(st->sub);
        free(st->sub);
        st->sub = nullptr;
    }
}

void je_ast_free_prog(je_prog *prog) {
    if (!prog) return;
    for (int32_t i = 0; i < prog->count; ++i) je_stage_free(&prog->items[i]);
    free(prog->items);
    prog->items = nullptr;
    prog->count = 0;
    prog->cap = 0;
}

// "map" is current; parses up to and including the closing ")" into st.
static bool je_parse_map(je_parser *p, je_stage *st) {
    if (!je_p_next(p)) return false;
    if (p->kind != JE_TOK_LPAREN) {
        je_set_error("query: expected '(' after 'map'");
        return false;
    }
    if (!je_nest_enter(p)) return false;
    st->kind = JE_STAGE_MAP;
    st->sub = static_cast<je_prog *>(calloc(1, sizeof(je_prog)));
    bool ok = st->sub != nullptr;
    if (!ok) je_oom();
    ok = ok && je_p_next(p) && je_parse_prog(p, st->sub);
    je_nest_leave(p);
    if (ok && p->kind != JE_TOK_RPAREN) {
        je_set_error("query: expected ')' after map expression");
        ok = false;
    }
    return ok;
}

bool je_parse_prog(je_parser *p, je_prog *prog) {
    prog->items = nullptr;
    prog->count = 0;
    prog->cap = 0;
    for (;;) {
        je_stage st{};
        bool ok;
        if (p->kind == JE_TOK_IDENT && strcmp(p->ident, "map") == 0) {
            ok = je_parse_map(p, &st) && je_p_next(p);
        } else {
            je_operand *op = nullptr;
            ok = je_parse_operand(p, &op);
            if (ok) {
                st.kind = JE_STAGE_PATH;
                st.steps = op->steps;
                st.nsteps = op->nsteps;
                free(op);
            }
        }
        if (!ok || !je_prog_push(prog, &st)) {
            je_stage_free(&st);
            return false;
        }
        if (p->kind != JE_TOK_PIPE) return true;
        if (!je_p_next(p)) return false;
    }
}
