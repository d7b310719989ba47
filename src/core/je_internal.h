// Internal interface shared by every engine unit: the process-wide state
// (document, error slot, shared output buffer), the text builder, loading
// helpers, the path step table, the iterative deep copy, RAII guards and
// the C boundary guard. The walking toolkit over both trees is je_tree.h.
#pragma once

#include <yyjson.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "quendral/jsonengine.h"

// ---- compiler pieces ------------------------------------------------------

// printf-style checking of the engine's own formats where the compiler has
// it. On mingw the "printf" archetype means the Windows C runtime's, which
// lacks %zu; the engine formats through mingw's C99 printf
// (__USE_MINGW_ANSI_STDIO, set by the build), which gnu_printf describes.
#if defined(__MINGW32__)
#define JE_PRINTF_FORMAT(fmt_arg, first_arg) __attribute__((format(gnu_printf, fmt_arg, first_arg)))
#elif defined(__GNUC__) || defined(__clang__)
#define JE_PRINTF_FORMAT(fmt_arg, first_arg) __attribute__((format(printf, fmt_arg, first_arg)))
#else
#define JE_PRINTF_FORMAT(fmt_arg, first_arg)
#endif

// Large zero-filled static tables (the path table, result tables, the
// accessors' field buffers) go after every other static. A short run
// touches only a few small statics; kept together they share a page or two
// instead of being spread between the tables, and every fresh page is a
// page fault. Clang would give the section file contents, so only GCC's
// ELF builds use it.
#if defined(__ELF__) && defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define JE_LARGE_STATIC __attribute__((section(".lbss")))
#else
#define JE_LARGE_STATIC
#endif

// ---- limits -------------------------------------------------------------

constexpr size_t JE_ERR_SIZE = 1024;                       // error slot, NUL included
constexpr size_t JE_BIGBUF_LIMIT = 67108864;               // largest request (64 MiB)
constexpr size_t JE_BIGBUF_INITIAL = 65536;                // first capacity (64 KiB)
constexpr size_t JE_BIGBUF_CEILING = 2 * JE_BIGBUF_LIMIT;  // largest capacity kept after a call
constexpr size_t JE_BUF_MIN = 64;                          // smallest builder block
constexpr int JE_MAX_STEPS = 256;                          // steps in one path
constexpr size_t JE_STEP_KEY_SIZE = 512;                   // key bytes + NUL
constexpr int64_t JE_MAX_INDEX = 2147483647;               // path index clamp
constexpr size_t JE_PATH_SIZE = 4096;                      // reported path, NUL included
constexpr size_t JE_PATH_MAX = JE_PATH_SIZE - 1;           // reported path bytes
// Garbage the engine document's storage may hold beyond the size of its live
// tree before the live tree moves into fresh storage.
constexpr size_t JE_STORE_SLACK = 1u << 20;
// The public header states these limits to hosts.
static_assert(JSONENGINE_ERROR_MAX == JE_ERR_SIZE - 1);
static_assert(JSONENGINE_OUTPUT_MAX == JE_BIGBUF_LIMIT);
static_assert(JSONENGINE_PATH_MAX_STEPS == JE_MAX_STEPS);
static_assert(JSONENGINE_PATH_KEY_MAX == JE_STEP_KEY_SIZE - 1);
static_assert(JSONENGINE_PATH_INDEX_MAX == JE_MAX_INDEX);
static_assert(JSONENGINE_REPORTED_PATH_MAX == JE_PATH_MAX);

// ---- large blocks (src/core/mem.cpp) ------------------------------------------

// Blocks from this size on are placed for huge pages where the platform has
// them; smaller ones are plain heap blocks.
constexpr size_t JE_BIG_BLOCK_MIN = size_t{256} << 10;
// A block that may be large (a loaded text, a document's storage, the
// shared output buffer); released with free(). je_big_realloc keeps the
// first min(old_size, n) bytes, as realloc does.
void *je_big_alloc(size_t n);
void *je_big_realloc(void *p, size_t old_size, size_t n);
// yyjson's allocator over je_big_alloc, for readers and mutable documents.
const yyjson_alc *je_big_alc();

// ---- error slot -----------------------------------------------------------

extern char je_err[JE_ERR_SIZE];

void je_set_error(const char *msg);
void je_set_errorf(const char *fmt, ...) JE_PRINTF_FORMAT(1, 2);
void je_err_clear();
inline bool je_err_empty() { return je_err[0] == '\0'; }

// The static empty text that failing text functions return.
extern const char je_empty[];

// ---- shared output buffer ---------------------------------------------------

struct je_bigbuf_t {
    char *ptr;
    size_t cap;
};
extern je_bigbuf_t je_bigbuf;

// Makes room for n bytes; the buffer start, or null with a message.
char *je_bigbuf_get(size_t n);
// Copies a NUL-terminated text (NUL included) into the buffer.
bool je_fill_big(const char *text);
// Publishes a heap text of len bytes (from a writer or builder): copies it
// with its NUL into the buffer and frees it. Returns the buffer, or je_empty
// with the buffer's message. A null text is only freed and gives je_empty.
// A text already written in place in the buffer (by a writer or builder
// given the buffer's blocks, below) is only checked against the limit.
const char *je_publish(char *text, size_t len);

// Writing straight into the buffer: yyjson's writers and the text builder
// take their blocks from this allocator, whose block is the buffer itself.
// A writer may ask for more than the text needs (yyjson sizes its first
// block from the value count); untouched, that costs address space only,
// and publishing gives back what lies past JE_BIGBUF_CEILING. Its free
// releases only blocks other than the buffer.
const yyjson_alc *je_out_alc();
// Starts writing a result straight into the buffer and returns the
// allocator: the buffer's text is kept aside, so that a call that fails
// (refused by the limit, a writer or memory failure) still leaves the
// buffer as it was, as every failed call does.
const yyjson_alc *je_out_begin();
// Puts back the text kept by je_out_begin after a failed write.
void je_out_failed();
// Publishes what a writer given je_out_alc() produced: a null text leaves
// "out of memory" when the buffer could not grow, else "internal: json
// write failed".
const char *je_out_text(char *text, size_t len);

// ---- engine document --------------------------------------------------------

// A loaded document is kept as yyjson read it (je_idoc, immutable, its
// strings possibly inside je_idoc_text, the text it was read from in place)
// and every read walks it there. The first edit copies it once into the
// mutable je_doc and releases it; from then on je_doc is the document.
// At most one of je_idoc and je_doc is set.
extern yyjson_mut_doc *je_doc;
extern yyjson_doc *je_idoc;
extern char *je_idoc_text;

// A document is loaded when the slot holds a document with a root.
bool je_doc_ensure();
// The document as a mutable one, copied from the loaded immutable document
// on first use (which releases that); null with "out of memory (deep copy)"
// when the copy cannot be made, the loaded document then staying as it was.
yyjson_mut_doc *je_doc_mut();
// Installs a deep mutable copy of doc (caller keeps doc).
bool je_doc_set_from_imut(yyjson_doc *doc);
// Installs doc, as read from text (which it may point into and which it
// then owns; null when doc holds its own strings), releasing the old document.
void je_doc_install_read(yyjson_doc *doc, char *text);
// Installs doc as the engine document, releasing the old one (null leaves
// no document).
void je_doc_replace(yyjson_mut_doc *doc);

// ---- storage of the engine document --------------------------------------------
//
// Edits detach values that stay in the document's pools. Each editing call
// reports what it detaches (je_store_drop*, or the object helpers below that
// do it themselves) and runs inside a je_edit_scope, whose end moves the live
// tree into fresh storage once the garbage outweighs it (je_store_reclaim).
// Moving costs the live tree's size and happens only after more than that
// much garbage (plus JE_STORE_SLACK) has built up, so it costs amortised O(1)
// per byte edited, and the storage stays within about twice the live tree
// plus JE_STORE_SLACK.

// Bytes of the document's pools in use (allocated chunks less the unused
// tails of the newest ones).
size_t je_store_used(const yyjson_mut_doc *doc);
// Bytes counted as unreachable since the document was installed or moved.
size_t je_store_garbage();
// A new document was installed: it holds no garbage.
void je_store_reset();
// val (and everything below it) is no longer reachable: its bytes count as
// garbage. The walk reuses the subtree's links, so val must not be used again.
void je_store_drop(yyjson_mut_val *val);
// The root was just replaced: everything in the pools but the new root is
// garbage. Counted without a walk (the new root counts too, which at worst
// moves it once), so replacing a large document costs nothing extra.
void je_store_drop_root();
// A key value that is no longer reachable.
void je_store_drop_key(const yyjson_mut_val *key);
// A member that was unlinked: its key and its value (key->next).
void je_store_drop_member(yyjson_mut_val *key);
void je_store_add_garbage(size_t bytes);
// Moves the live tree into fresh storage when the garbage exceeds the live
// size plus JE_STORE_SLACK. Never fails: without memory the document stays.
void je_store_reclaim();

// yyjson_mut_obj_put (the first member with the key takes val in its place,
// later ones go; else the pair is appended), dropping what it detaches: the
// replaced value, the removed members, and key when it was not needed.
bool je_obj_put(yyjson_mut_val *obj, yyjson_mut_val *key, yyjson_mut_val *val);
// Removes every member whose key has these len bytes, dropping them; the
// number removed.
size_t je_obj_remove_all(yyjson_mut_val *obj, const char *key, size_t len);

// Brackets one editing call: when the call fails, everything it added to the
// pools counts as garbage; either way the storage is reclaimed if due.
struct je_edit_scope {
    yyjson_mut_doc *doc;  // the document the call started on
    size_t before;
    bool ok = false;
    je_edit_scope();
    ~je_edit_scope();
    int result(int rc) {
        ok = rc == 0;
        return rc;
    }
    je_edit_scope(const je_edit_scope &) = delete;
    je_edit_scope &operator=(const je_edit_scope &) = delete;
};

// ---- text builder -----------------------------------------------------------

struct je_buf {
    char *text;
    size_t length;
    size_t capacity;
    bool failed;
    bool out;  // the block comes from je_out_alc() (the shared output buffer)
};

void je_buf_init(je_buf *buf, size_t size);
// A builder whose text is written straight into the shared output buffer;
// publish it with je_publish(text, length).
void je_buf_init_out(je_buf *buf);
void je_buf_append(je_buf *buf, const void *src, size_t n);
void je_buf_appendf(je_buf *buf, const char *fmt, ...) JE_PRINTF_FORMAT(2, 3);
void je_buf_free(je_buf *buf);

// ---- loading ----------------------------------------------------------------

// Reads a whole file into a new heap block followed by YYJSON_PADDING_SIZE
// NUL bytes, so yyjson may read it in place (caller frees).
char *je_read_file(const char *path, size_t *out_length);
// Reads a value text into a document of its own (the caller frees it);
// null with a static message in *out_message.
yyjson_doc *je_read_value(const char *text, const char **out_message);
// A file open for reading (src/core/platform.cpp), closed when it goes:
// a descriptor on POSIX systems, read without a stream's buffer; a C
// stream opened by its wide name on Windows, where fopen takes the ANSI
// code page.
struct je_file {
#if defined(_WIN32)
    FILE *f = nullptr;
#else
    int fd = -1;
    bool directory = false, regular = false;  // as open() found the file
    int64_t regular_size = 0;
#endif
    je_file() = default;
    je_file(const je_file &) = delete;
    je_file &operator=(const je_file &) = delete;
    ~je_file();
    // False when the file cannot be opened or the name is not valid UTF-8.
    bool open(const char *path);
    // A directory opens on POSIX systems; it is no file the loader reads.
    bool is_directory() const;
    // The size as a 64-bit seek to the end finds it (long is 32 bits on
    // Windows); false when the file cannot be sought. rewind() before
    // reading.
    bool size(int64_t *out_size);
    void rewind();
    // Reads up to n bytes; fewer at the end of the file or on an error.
    size_t read(void *buf, size_t n);
};
// Parses text into a detached value owned by doc; null with *out_message.
yyjson_mut_val *je_parse_val(yyjson_mut_doc *doc, const char *text, const char **out_message);

// ---- path steps -------------------------------------------------------------

enum { JE_STEP_KEY = 0, JE_STEP_INDEX = 1 };

struct je_step {
    int32_t kind;
    char key[JE_STEP_KEY_SIZE];
    int64_t index;
};

extern je_step je_steps[JE_MAX_STEPS];
extern int32_t je_nsteps;

bool je_parse_path(const char *path);
// je_nav (following the parsed steps from a root) is in je_tree.h.

// ---- shared value helpers -----------------------------------------------------

// Deep copy of a value of either tree into doc without recursion; keys and
// strings keep their full length (NUL bytes included). Null when memory
// runs out.
yyjson_mut_val *je_deep_copy(yyjson_mut_doc *doc, const yyjson_mut_val *val);
yyjson_mut_val *je_deep_copy(yyjson_mut_doc *doc, const yyjson_val *val);

// Whether n bytes form valid UTF-8 (no overlongs, surrogates or values past
// U+10FFFF), as the JSON writer requires.
bool je_utf8_valid(const char *s, size_t n);

// Bounded copy into a fixed field, as snprintf(dst, size, "%s", src).
void je_copy_field(char *dst, size_t size, const char *src);

// ---- result tables ----------------------------------------------------------------

// A process-wide table of up to Max rows, allocated a chunk of rows at a
// time when a row is first wanted. Rows never move and chunks are kept for
// the next call, so a process that never uses a table pays nothing for it
// (no start-up work, no address space) and a row costs only the bytes
// written into it. Declared static, it is zero-initialised at load time.
template <class T, int32_t Max, int32_t ChunkRows = 64>
struct je_table {
    static constexpr int32_t nchunks = (Max + ChunkRows - 1) / ChunkRows;
    T *chunks[nchunks];

    // The row at i (0 <= i < Max); throws std::bad_alloc when its chunk
    // cannot be had, which the C boundary reports as "out of memory".
    T &row(int32_t i) {
        T *&chunk = chunks[i / ChunkRows];
        if (!chunk) {
            chunk = static_cast<T *>(malloc(sizeof(T) * static_cast<size_t>(ChunkRows)));
            if (!chunk) throw std::bad_alloc();
        }
        return chunk[i % ChunkRows];
    }
    // A row already had through row().
    T &operator[](int32_t i) { return chunks[i / ChunkRows][i % ChunkRows]; }
};

// The texts of a process-wide result table's rows, back to back, each
// ended by a NUL. A row keeps the offsets of its texts, so it costs the
// bytes written rather than its fields' capacities (a hit of fixed 4 KiB
// fields touched two fresh pages). clear() keeps the block for the next
// call; offsets stay valid until then, while the block itself may move.
struct je_texts {
    static constexpr size_t none = SIZE_MAX;  // the offset of an empty text
    char *block = nullptr;
    size_t length = 0, capacity = 0;

    // Copies src[0, len), cut at its first NUL and at max bytes, and a
    // NUL; the copy's offset. Throws std::bad_alloc without memory, which
    // the C boundary reports as "out of memory".
    size_t add(const char *src, size_t len, size_t max);
    // The same for a NUL-terminated text.
    size_t add(const char *src, size_t max);
    const char *at(size_t offset) const { return offset == none ? "" : block + offset; }
    void clear() { length = 0; }
};

// ---- RAII guards ---------------------------------------------------------------

struct je_free_guard {
    void *p;
    explicit je_free_guard(void *ptr = nullptr) : p(ptr) {}
    ~je_free_guard() { free(p); }
    je_free_guard(const je_free_guard &) = delete;
    je_free_guard &operator=(const je_free_guard &) = delete;
};

struct je_doc_guard {
    yyjson_doc *d;
    explicit je_doc_guard(yyjson_doc *doc = nullptr) : d(doc) {}
    ~je_doc_guard() { yyjson_doc_free(d); }
    yyjson_doc *release() {
        yyjson_doc *r = d;
        d = nullptr;
        return r;
    }
    je_doc_guard(const je_doc_guard &) = delete;
    je_doc_guard &operator=(const je_doc_guard &) = delete;
};

struct je_mut_doc_guard {
    yyjson_mut_doc *d;
    explicit je_mut_doc_guard(yyjson_mut_doc *doc = nullptr) : d(doc) {}
    ~je_mut_doc_guard() { yyjson_mut_doc_free(d); }
    yyjson_mut_doc *release() {
        yyjson_mut_doc *r = d;
        d = nullptr;
        return r;
    }
    je_mut_doc_guard(const je_mut_doc_guard &) = delete;
    je_mut_doc_guard &operator=(const je_mut_doc_guard &) = delete;
};

struct je_buf_guard {
    je_buf b;
    explicit je_buf_guard(size_t size) { je_buf_init(&b, size); }
    struct out_t {};
    explicit je_buf_guard(out_t) { je_buf_init_out(&b); }
    ~je_buf_guard() { je_buf_free(&b); }
    je_buf_guard(const je_buf_guard &) = delete;
    je_buf_guard &operator=(const je_buf_guard &) = delete;
};

// ---- the C boundary -------------------------------------------------------------

// Runs an exported function's body so that no C++ exception leaves the
// library: an allocation failure becomes "out of memory", anything else an
// internal message, and the function returns its failure value.
template <class R, class F>
R je_guard(R fail, F &&body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        je_set_error("out of memory");
    } catch (...) {
        je_set_error("internal: unexpected exception");
    }
    return fail;
}
