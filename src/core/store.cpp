// Storage of the engine document. yyjson's mutable document allocates from
// pools that only grow, so every value an edit detaches (a replaced member,
// a removed element, an old root) stays in them. The engine counts what it
// detaches and, once that garbage outweighs the live tree, copies the live
// tree into fresh storage and frees the old pools.
#include <cstring>

#include "je_internal.h"

// Bytes known to be unreachable in the engine document's pools.
static size_t je_garbage = 0;

// Sum of the chunk sizes of the engine document, kept while the newest
// chunks stay the same: every editing call asks twice, and a loaded
// document's string pool holds a chunk per doubling.
static struct {
    const yyjson_str_chunk *str_head;
    const yyjson_val_chunk *val_head;
    size_t total;
    bool valid;
} je_chunks_seen;

static size_t je_chunk_total(const yyjson_mut_doc *doc) {
    size_t total = 0;
    for (const yyjson_str_chunk *c = doc->str_pool.chunks; c; c = c->next) total += c->chunk_size;
    for (const yyjson_val_chunk *c = doc->val_pool.chunks; c; c = c->next) total += c->chunk_size;
    return total;
}

size_t je_store_used(const yyjson_mut_doc *doc) {
    if (!doc) return 0;
    size_t total;
    if (doc != je_doc) {
        total = je_chunk_total(doc);
    } else {
        if (!je_chunks_seen.valid || je_chunks_seen.str_head != doc->str_pool.chunks ||
            je_chunks_seen.val_head != doc->val_pool.chunks)
            je_chunks_seen = {doc->str_pool.chunks, doc->val_pool.chunks, je_chunk_total(doc), true};
        total = je_chunks_seen.total;
    }
    // The newest chunk heads each list; its tail past the cursor is unused.
    if (doc->str_pool.chunks) total -= static_cast<size_t>(doc->str_pool.end - doc->str_pool.cur);
    if (doc->val_pool.chunks)
        total -= static_cast<size_t>(doc->val_pool.end - doc->val_pool.cur) * sizeof(yyjson_mut_val);
    return total;
}

size_t je_store_garbage() { return je_garbage; }

void je_store_reset() {
    je_garbage = 0;
    je_chunks_seen.valid = false;
}

// What one value takes from the pools: the value itself, and the bytes of a
// string (with its NUL) that the engine always copies into the document.
static size_t je_val_bytes(const yyjson_mut_val *v) {
    size_t n = sizeof(yyjson_mut_val);
    yyjson_type type = unsafe_yyjson_get_type(const_cast<yyjson_mut_val *>(v));
    if (type == YYJSON_TYPE_STR || type == YYJSON_TYPE_RAW)
        n += unsafe_yyjson_get_len(const_cast<yyjson_mut_val *>(v)) + 1;
    return n;
}

// The subtree is unreachable, so its containers' sibling links are free to
// serve as the work list: the walk needs no stack and cannot fail.
void je_store_drop(yyjson_mut_val *val) {
    if (!val) return;
    size_t bytes = je_val_bytes(val);
    yyjson_mut_val *work = nullptr;
    auto queue = [&work](yyjson_mut_val *v) {
        if (yyjson_mut_is_ctn(v) && unsafe_yyjson_get_len(v) > 0) {
            v->next = work;
            work = v;
        }
    };
    queue(val);
    while (work) {
        yyjson_mut_val *ctn = work;
        work = ctn->next;
        size_t n = unsafe_yyjson_get_len(ctn);
        yyjson_mut_val *last = static_cast<yyjson_mut_val *>(ctn->uni.ptr);
        if (yyjson_mut_is_obj(ctn)) {
            yyjson_mut_val *key = last->next->next;
            for (size_t i = 0; i < n; ++i) {
                yyjson_mut_val *v = key->next, *next_key = v->next;
                bytes += je_val_bytes(key) + je_val_bytes(v);
                queue(v);
                key = next_key;
            }
        } else {
            yyjson_mut_val *e = last->next;
            for (size_t i = 0; i < n; ++i) {
                yyjson_mut_val *next = e->next;
                bytes += je_val_bytes(e);
                queue(e);
                e = next;
            }
        }
    }
    je_garbage += bytes;
}

void je_store_drop_root() { je_garbage = je_store_used(je_doc); }

void je_store_drop_key(const yyjson_mut_val *key) {
    if (key) je_garbage += je_val_bytes(key);
}

void je_store_drop_member(yyjson_mut_val *key) {
    je_store_drop_key(key);
    je_store_drop(key->next);
}

void je_store_add_garbage(size_t bytes) { je_garbage += bytes; }

// Members of a mutable object form a ring: the object points at its last
// key, each key's next is its value and each value's next the following key.
// Both walks below relink the ring as they go and never revisit a member.

// Walks obj's members once: the members whose key has these len bytes are
// unlinked and dropped, except that with a replacement the first of them
// stays and takes it as its value. Returns the number of members matched.
static size_t je_obj_sweep(yyjson_mut_val *obj, const char *key, size_t len, yyjson_mut_val *replacement) {
    size_t n = unsafe_yyjson_get_len(obj), kept = 0, matched = 0;
    if (n == 0) return 0;
    yyjson_mut_val *prev = static_cast<yyjson_mut_val *>(obj->uni.ptr);
    yyjson_mut_val *cur = prev->next->next;
    for (size_t i = 0; i < n; ++i) {
        yyjson_mut_val *next = cur->next->next;
        bool match = unsafe_yyjson_equals_strn(cur, key, len);
        matched += match;
        if (match && replacement) {
            yyjson_mut_val *old = cur->next;
            replacement->next = old->next;
            cur->next = replacement;
            je_store_drop(old);
            replacement = nullptr;
        } else if (match) {
            prev->next->next = next;
            je_store_drop_member(cur);
            cur = next;
            continue;
        }
        prev = cur;
        ++kept;
        cur = next;
    }
    unsafe_yyjson_set_len(obj, kept);
    if (kept) obj->uni.ptr = prev;
    return matched;
}

bool je_obj_put(yyjson_mut_val *obj, yyjson_mut_val *key, yyjson_mut_val *val) {
    if (!yyjson_mut_is_obj(obj) || !yyjson_mut_is_str(key) || !val) return false;
    if (je_obj_sweep(obj, unsafe_yyjson_get_str(key), unsafe_yyjson_get_len(key), val))
        je_store_drop_key(key);  // the first member with the key kept its own
    else
        unsafe_yyjson_mut_obj_add(obj, key, val, unsafe_yyjson_get_len(obj));
    return true;
}

size_t je_obj_remove_all(yyjson_mut_val *obj, const char *key, size_t len) {
    return yyjson_mut_is_obj(obj) ? je_obj_sweep(obj, key, len, nullptr) : 0;
}

void je_store_reclaim() {
    if (!je_doc) return;
    size_t used = je_store_used(je_doc);
    size_t garbage = je_garbage < used ? je_garbage : used;
    if (garbage <= used - garbage + JE_STORE_SLACK) return;
    yyjson_mut_val *root = yyjson_mut_doc_get_root(je_doc);
    je_mut_doc_guard fresh(yyjson_mut_doc_new(je_big_alc()));
    if (!fresh.d) return;
    if (root) {
        yyjson_mut_val *copy = je_deep_copy(fresh.d, root);
        // Without memory for the copy the document simply stays where it is;
        // the edit that got here has already succeeded.
        if (!copy) return;
        yyjson_mut_doc_set_root(fresh.d, copy);
    }
    yyjson_mut_doc_free(je_doc);
    je_doc = fresh.release();
    je_store_reset();
}

je_edit_scope::je_edit_scope() : doc(je_doc), before(je_store_used(je_doc)) {}

je_edit_scope::~je_edit_scope() {
    // Whatever a failed call put into the pools is unreachable: a value it
    // parsed, copies it made. (Intermediate objects a failed json_set leaves
    // are live but small; counting them as garbage only moves sooner.)
    // A call that installed another document (a first mutable copy) counts
    // nothing: the new document starts without garbage.
    if (!ok && je_doc == doc) {
        size_t used = je_store_used(je_doc);
        if (used > before) je_garbage += used - before;
    }
    je_store_reclaim();
}
