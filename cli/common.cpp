// Option parsing, input loading (whole files, pipes, JSON Lines), checked
// output and failure reports shared by the commands.
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli.h"
#include "quendral/jsonengine.h"

// ---- messages ------------------------------------------------------------

// The place a message names while a JSON Lines input is worked through,
// "FILE: line N: " (no file for standard input); line 0 names none. Plain
// statics: the program runs no constructor before main.
static const char *cli_where_file = nullptr;
static size_t cli_where_line = 0;

static void cli_vmessage(const char *fmt, va_list ap) {
    fputs("jsonengine: ", stderr);
    if (cli_where_line) {
        if (cli_where_file) fprintf(stderr, "%s: ", cli_where_file);
        fprintf(stderr, "line %zu: ", cli_where_line);
    }
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
}

int cli_error(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    cli_vmessage(fmt, ap);
    va_end(ap);
    return CLI_FAILED;
}

int cli_fail(int status) {
    cli_error("%s", json_last_error());
    return status;
}

int cli_cut(const char *command, const char *rows, int cap) {
    cli_error("warning: %s kept the first %d %s (the engine's limit); more may exist", command, cap, rows);
    return CLI_CUT;
}

int cli_worse(int a, int b) {
    auto rank = [](int s) { return s == CLI_OK ? 0 : s == CLI_CUT ? 1 : 2; };
    return rank(a) >= rank(b) ? a : b;
}

// ---- options ---------------------------------------------------------------

namespace {
struct cli_flag {
    char short_name;
    const char *long_name;
    unsigned bit;
};
const cli_flag cli_flags[] = {
    {'l', "--lines", CLI_OPT_LINES}, {'r', "--raw-output", CLI_OPT_RAW}, {'e', "--exit-status", CLI_OPT_EXIT},
    {0, "--paths", CLI_OPT_PATHS},   {0, "--array", CLI_OPT_ARRAY},      {'m', "--mode", CLI_OPT_MODE},
};

void cli_set_flag(cli_args &a, unsigned bit) {
    if (bit == CLI_OPT_LINES) a.lines = true;
    if (bit == CLI_OPT_RAW) a.raw = true;
    if (bit == CLI_OPT_EXIT) a.exit_status = true;
    if (bit == CLI_OPT_PATHS) a.paths = true;
    if (bit == CLI_OPT_ARRAY) a.array = true;
}

int cli_bad_option(const char *command, const char *arg) {
    if (strcmp(arg, "--raw") == 0 && strcmp(command, "query") == 0)
        fprintf(stderr, "jsonengine: query: --raw is now --array (all results as one JSON array)\n");
    else
        fprintf(stderr, "jsonengine: %s: unknown option: %s\n", command, arg);
    return cli_usage(command);
}
}  // namespace

int cli_parse(const char *command, int argc, char **argv, size_t min, size_t max, cli_args &a) {
    const cli_command *cmd = cli_find(command);
    unsigned allowed = cmd ? cmd->options : 0;
    // --help wins wherever it stands, before anything is read.
    for (int i = 0; i < argc && strcmp(argv[i], "--") != 0; ++i)
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) return cli_help_command(command);
    bool options = true;
    for (int i = 0; i < argc; ++i) {
        const char *arg = argv[i];
        // "-" is standard input and "-1" a number; both are arguments.
        bool looks_like_option =
            arg[0] == '-' && (arg[1] == '-' || (arg[1] >= 'a' && arg[1] <= 'z') || (arg[1] >= 'A' && arg[1] <= 'Z'));
        if (!options || !looks_like_option) {
            a.pos.push_back(arg);
            continue;
        }
        if (strcmp(arg, "--") == 0) {
            options = false;
            continue;
        }
        if (arg[1] == '-') {
            const char *eq = strchr(arg, '=');
            size_t name_len = eq ? static_cast<size_t>(eq - arg) : strlen(arg);
            const cli_flag *flag = nullptr;
            for (const cli_flag &f : cli_flags)
                if ((allowed & f.bit) && strlen(f.long_name) == name_len && strncmp(f.long_name, arg, name_len) == 0)
                    flag = &f;
            if (!flag) return cli_bad_option(command, arg);
            if (flag->bit == CLI_OPT_MODE) {
                if (eq)
                    a.mode = eq + 1;
                else if (i + 1 < argc)
                    a.mode = argv[++i];
                else
                    return cli_usage(command);
            } else if (eq) {
                return cli_bad_option(command, arg);
            } else {
                cli_set_flag(a, flag->bit);
            }
            continue;
        }
        // Short options may be grouped (-re); -m takes the next argument.
        for (const char *c = arg + 1; *c; ++c) {
            const cli_flag *flag = nullptr;
            for (const cli_flag &f : cli_flags)
                if ((allowed & f.bit) && f.short_name == *c) flag = &f;
            if (!flag) return cli_bad_option(command, arg);
            if (flag->bit == CLI_OPT_MODE) {
                if (c[1] || i + 1 >= argc) return cli_usage(command);
                a.mode = argv[++i];
            } else {
                cli_set_flag(a, flag->bit);
            }
        }
    }
    if (a.pos.size() < min || a.pos.size() > max) return cli_usage(command);
    return -1;
}

// ---- input -------------------------------------------------------------------

bool cli_is_stdin(const char *file) { return !file || strcmp(file, "-") == 0; }

const char *cli_input_name(const char *file) { return cli_is_stdin(file) ? "standard input" : file; }

namespace {
// An open input: standard input or a file opened here, so that a failure
// to open names the system's reason.
struct cli_input {
    FILE *f = nullptr;
    bool owned = false;
    ~cli_input() {
        if (owned) fclose(f);
    }
    bool open(const char *file) {
        if (cli_is_stdin(file)) {
            f = stdin;
            return true;
        }
        f = cli_fopen_read(file);
        if (!f) return cli_error("cannot open file: %s: %s", file, strerror(errno)), false;
        owned = true;
        struct stat st;
        if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode))
            return cli_error("cannot open file: %s: %s", file, strerror(EISDIR)), false;
        return true;
    }
    bool regular() const {
        struct stat st;
        return f != stdin && fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    }
};

constexpr size_t CLI_CHUNK = 65536;

bool cli_read_stream(FILE *f, const char *file, std::string &out) {
    // A regular file is read in one piece of its size and a byte more (to
    // see its end), instead of being grown and copied chunk by chunk.
    size_t step = CLI_CHUNK;
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) step = static_cast<size_t>(st.st_size) + 1;
    size_t len = 0;
    for (;;) {
        out.resize(len + step);
        size_t n = fread(out.data() + len, 1, step, f);
        len += n;
        if (n < step) break;
        step = CLI_CHUNK;  // the file grew since
    }
    out.resize(len);
    if (ferror(f)) return cli_error("cannot read %s: %s", cli_input_name(file), strerror(errno)), false;
    return true;
}

// Reads one line at a time, so memory stays that of the longest line.
struct cli_line_reader {
    FILE *f;
    char chunk[CLI_CHUNK];
    size_t pos = 0, len = 0;
    bool eof = false;
    // False at the end of the input or on a read error (see failed()).
    bool next(std::string &line) {
        line.clear();
        for (;;) {
            if (pos == len) {
                if (eof) return !line.empty();
                len = fread(chunk, 1, sizeof chunk, f);
                pos = 0;
                if (len < sizeof chunk) eof = true;
                if (len == 0) return !line.empty() && !ferror(f);
            }
            const char *start = chunk + pos;
            const char *nl = static_cast<const char *>(memchr(start, '\n', len - pos));
            size_t take = nl ? static_cast<size_t>(nl - start) : len - pos;
            line.append(start, take);
            pos += take + (nl ? 1 : 0);
            if (nl) return true;
        }
    }
};

bool cli_blank(const std::string &s) {
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    return true;
}

// Prefixes a parse failure with the input's name.
bool cli_parse_failed(const char *file, bool named) {
    if (!cli_is_stdin(file) || named) return cli_error("%s: %s", cli_input_name(file), json_last_error()), false;
    return cli_fail(), false;
}
}  // namespace

bool cli_read(const char *file, std::string &out) {
    cli_input in;
    return in.open(file) && cli_read_stream(in.f, file, out);
}

bool cli_load(const char *file, bool named) {
#if !defined(_WIN32)
    // A regular file goes straight to the engine. The program opens it
    // itself only where the engine cannot, to name the system's reason.
    struct stat st;
    if (!cli_is_stdin(file) && stat(file, &st) == 0 && S_ISREG(st.st_mode)) {
        if (json_parse_file(file) == 0) return true;
        if (strncmp(json_last_error(), "cannot open file: ", 18) != 0) return cli_parse_failed(file, named);
    }
#endif
    cli_input in;
    if (!in.open(file)) return false;
    if (in.regular()) {
        fclose(in.f);
        in.owned = false;
        if (json_parse_file(file) != 0) return cli_parse_failed(file, named);
        return true;
    }
    std::string text;
    if (!cli_read_stream(in.f, file, text)) return false;
    if (json_parse(text.c_str()) != 0) return cli_parse_failed(file, named);
    return true;
}

int cli_each_text(const char *file, bool lines, const std::function<int(const std::string &)> &fn) {
    if (!lines) {
        std::string text;
        if (!cli_read(file, text)) return CLI_FAILED;
        return fn(text);
    }
    cli_input in;
    if (!in.open(file)) return CLI_FAILED;
    auto reader = std::make_unique<cli_line_reader>();
    reader->f = in.f;
    std::string line;
    int status = CLI_OK;
    for (size_t number = 1; reader->next(line) && !cli_output_failed(); ++number) {
        if (cli_blank(line)) continue;
        cli_where_file = cli_is_stdin(file) ? nullptr : file;
        cli_where_line = number;
        status = cli_worse(status, fn(line));
        cli_where_line = 0;
    }
    if (ferror(in.f))
        status = cli_worse(status, cli_error("cannot read %s: %s", cli_input_name(file), strerror(errno)));
    return status;
}

int cli_each_document(const char *file, bool lines, const std::function<int()> &fn) {
    if (!lines) return cli_load(file) ? fn() : CLI_FAILED;
    return cli_each_text(file, true, [&](const std::string &line) {
        if (json_parse(line.c_str()) != 0) return cli_fail();
        return fn();
    });
}

// ---- output ----------------------------------------------------------------------

static int cli_write_errno = 0;
static bool cli_write_failed = false;

static void cli_note_write_error() {
    if (!cli_write_failed) cli_write_errno = errno ? errno : EIO;
    cli_write_failed = true;
}

bool cli_output_failed() { return cli_write_failed; }

void cli_write(const char *text, size_t n) {
    if (cli_write_failed || n == 0) return;
    errno = 0;
    if (fwrite(text, 1, n, stdout) != n) cli_note_write_error();
}

void cli_puts(const char *text) { cli_write(text, strlen(text)); }

int cli_print(const char *text) {
    cli_puts(text);
    cli_write("\n", 1);
    return CLI_OK;
}

int cli_finish(int status, int error_status) {
    errno = 0;
    if (fflush(stdout) != 0 || ferror(stdout)) cli_note_write_error();
    if (!cli_write_failed) return status;
    fprintf(stderr, "jsonengine: write error: %s\n", strerror(cli_write_errno));
    return error_status;
}

int cli_print_document() {
    const char *text = json_get("$");
    if (!text[0]) return cli_fail();
    return cli_print(text);
}

void cli_write_json_string(const char *text) {
    static const char hex[] = "0123456789abcdef";
    cli_write("\"", 1);
    const char *run = text;
    for (const char *p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        cli_write(run, static_cast<size_t>(p - run));
        run = p + 1;
        char esc[7] = {'\\', 0, 0, 0, 0, 0, 0};
        size_t n = 2;
        switch (c) {
            case '"': esc[1] = '"'; break;
            case '\\': esc[1] = '\\'; break;
            case '\n': esc[1] = 'n'; break;
            case '\t': esc[1] = 't'; break;
            case '\r': esc[1] = 'r'; break;
            case '\b': esc[1] = 'b'; break;
            case '\f': esc[1] = 'f'; break;
            default:
                esc[1] = 'u';
                esc[2] = '0';
                esc[3] = '0';
                esc[4] = hex[c >> 4];
                esc[5] = hex[c & 15];
                n = 6;
        }
        cli_write(esc, n);
    }
    cli_puts(run);
    cli_write("\"", 1);
}

static unsigned cli_hex4(const char *p) {
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) {
        char c = p[i];
        v = v * 16 + static_cast<unsigned>(c >= '0' && c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return v;
}

// The engine writes only valid JSON, so escapes are complete here.
void cli_print_raw(const char *json) {
    if (json[0] != '"') {
        cli_puts(json);
        return;
    }
    std::string out;
    for (const char *p = json + 1; *p && *p != '"'; ++p) {
        if (*p != '\\') {
            out += *p;
            continue;
        }
        ++p;
        switch (*p) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                unsigned cp = cli_hex4(p + 1);
                p += 4;
                if (cp >= 0xD800 && cp < 0xDC00 && p[1] == '\\' && p[2] == 'u') {
                    unsigned lo = cli_hex4(p + 3);
                    if (lo >= 0xDC00 && lo < 0xE000) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                        p += 6;
                    }
                }
                if (cp < 0x80) {
                    out += static_cast<char>(cp);
                } else if (cp < 0x800) {
                    out += static_cast<char>(0xC0 | (cp >> 6));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                } else if (cp < 0x10000) {
                    out += static_cast<char>(0xE0 | (cp >> 12));
                    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                } else {
                    out += static_cast<char>(0xF0 | (cp >> 18));
                    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                }
                break;
            }
            default: out += *p;  // " \ /
        }
    }
    cli_write(out.data(), out.size());
}
