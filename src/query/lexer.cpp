// The query lexer: one token at a time from the parser state, with no
// allocation; lexical errors go to the error slot.
#include <cstdlib>
#include <cstring>

#include "je_query.h"

static bool je_is_alpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
static bool je_is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

static int je_hex_value(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Bytes past the literal's capacity are dropped while the scan goes on.
static void je_str_put(char *dst, size_t *n, unsigned char c) {
    if (*n < JE_QSTR_SIZE - 1) dst[(*n)++] = static_cast<char>(c);
}

static bool je_lex_string(je_parser *p) {
    const char *s = p->pos + 1;  // past the opening quote
    size_t n = 0;
    for (;;) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c == '\0') {
            je_set_error("query: unterminated string");
            return false;
        }
        if (c == '"') {
            ++s;
            break;
        }
        if (c != '\\') {
            je_str_put(p->str, &n, c);
            ++s;
            continue;
        }
        unsigned char e = static_cast<unsigned char>(s[1]);
        switch (e) {
            case '\0': je_set_error("query: unterminated string"); return false;
            case '"': je_str_put(p->str, &n, '"'); break;
            case '\\': je_str_put(p->str, &n, '\\'); break;
            case '/': je_str_put(p->str, &n, '/'); break;
            case 'b': je_str_put(p->str, &n, 0x08); break;
            case 'f': je_str_put(p->str, &n, 0x0C); break;
            case 'n': je_str_put(p->str, &n, 0x0A); break;
            case 'r': je_str_put(p->str, &n, 0x0D); break;
            case 't': je_str_put(p->str, &n, 0x09); break;
            case 'u': {
                unsigned cu = 0;
                // Stops at a NUL too, which is no hex digit.
                for (int k = 2; k < 6; ++k) {
                    int h = je_hex_value(static_cast<unsigned char>(s[k]));
                    if (h < 0) {
                        je_set_error("query: bad \\u escape");
                        return false;
                    }
                    cu = cu * 16 + static_cast<unsigned>(h);
                }
                if (cu < 0x80) {
                    je_str_put(p->str, &n, static_cast<unsigned char>(cu));
                } else if (cu < 0x800) {
                    je_str_put(p->str, &n, static_cast<unsigned char>(0xC0 | (cu >> 6)));
                    je_str_put(p->str, &n, static_cast<unsigned char>(0x80 | (cu & 0x3F)));
                } else {
                    je_str_put(p->str, &n, static_cast<unsigned char>(0xE0 | (cu >> 12)));
                    je_str_put(p->str, &n, static_cast<unsigned char>(0x80 | ((cu >> 6) & 0x3F)));
                    je_str_put(p->str, &n, static_cast<unsigned char>(0x80 | (cu & 0x3F)));
                }
                s += 6;
                continue;
            }
            default: je_set_error("query: bad escape"); return false;
        }
        s += 2;
    }
    p->str[n] = '\0';
    p->kind = JE_TOK_STRING;
    p->pos = s;
    return true;
}

static bool je_lex_number(je_parser *p) {
    char *end = nullptr;
    double v = strtod(p->pos, &end);
    if (end == p->pos) {
        je_set_errorf("query: bad number at: %.16s", p->pos);
        return false;
    }
    p->kind = JE_TOK_NUMBER;
    p->num = v;
    p->pos = end;
    return true;
}

static void je_lex_ident(je_parser *p) {
    const char *s = p->pos;
    size_t n = 0;
    while (je_is_alpha(static_cast<unsigned char>(*s)) || je_is_digit(static_cast<unsigned char>(*s))) {
        if (n < JE_QIDENT_SIZE - 1) p->ident[n++] = *s;
        ++s;
    }
    p->ident[n] = '\0';
    p->kind = JE_TOK_IDENT;
    p->pos = s;
}

static void je_lex_one(je_parser *p, je_tok kind, size_t width) {
    p->kind = kind;
    p->pos += width;
}

bool je_p_next(je_parser *p) {
    const char *s = p->pos;
    while (static_cast<unsigned char>(*s) >= 0x01 && static_cast<unsigned char>(*s) <= 0x20) ++s;
    p->pos = s;
    p->num = 0.0;
    unsigned char c = static_cast<unsigned char>(*s);
    switch (c) {
        case '\0': p->kind = JE_TOK_END; return true;
        case '$': je_lex_one(p, JE_TOK_DOLLAR, 1); return true;
        case '.': je_lex_one(p, JE_TOK_DOT, 1); return true;
        case '[': je_lex_one(p, JE_TOK_LBRACKET, 1); return true;
        case ']': je_lex_one(p, JE_TOK_RBRACKET, 1); return true;
        case '(': je_lex_one(p, JE_TOK_LPAREN, 1); return true;
        case ')': je_lex_one(p, JE_TOK_RPAREN, 1); return true;
        case '|': je_lex_one(p, JE_TOK_PIPE, 1); return true;
        case '?': je_lex_one(p, JE_TOK_QUESTION, 1); return true;
        case '=':
            if (s[1] != '=') {
                je_set_errorf("query: expected '==' at: %.16s", s);
                return false;
            }
            je_lex_one(p, JE_TOK_EQ, 2);
            return true;
        case '!':
            if (s[1] != '=') {
                je_set_errorf("query: unexpected '!' at: %.16s", s);
                return false;
            }
            je_lex_one(p, JE_TOK_NE, 2);
            return true;
        case '<':
            if (s[1] == '=')
                je_lex_one(p, JE_TOK_LE, 2);
            else
                je_lex_one(p, JE_TOK_LT, 1);
            return true;
        case '>':
            if (s[1] == '=')
                je_lex_one(p, JE_TOK_GE, 2);
            else
                je_lex_one(p, JE_TOK_GT, 1);
            return true;
        case '"': return je_lex_string(p);
        default: break;
    }
    if (je_is_digit(c) || c == '-') return je_lex_number(p);
    if (je_is_alpha(c)) {
        je_lex_ident(p);
        return true;
    }
    je_set_errorf("query: unexpected character '%c'", static_cast<char>(c));
    return false;
}
