// The straightforward copy-based merge the tests compare json_merge with:
// a new result tree built beside the old one, every object a new object,
// every value taken over a deep copy, and the put rule collapsing duplicate
// keys of each merged object (first place, last value; each document member
// pairs with the first patch member of its key).
#pragma once

#include <vector>

#include "../src/convert/je_convert.h"

namespace {

// An empty result object still to be filled from two source objects.
struct je_ref_merge_job {
    yyjson_mut_val *dst;
    yyjson_mut_val *base;
    yyjson_mut_val *patch;
};

// One member of a result object: its key as first met, and the values it
// is built from (the last occurrence on each side that counts).
struct je_ref_merge_slot {
    yyjson_mut_val *key;
    yyjson_mut_val *base;
    yyjson_mut_val *patch;
};

// Scratch tables reused by every object of one merge.
struct je_ref_merge_scratch {
    je_key_table patch_keys;                    // distinct patch keys
    std::vector<yyjson_mut_val *> patch_first;  // first patch value per key
    je_key_table slot_keys;                     // distinct keys of the result
    std::vector<je_ref_merge_slot> slots;
};

}  // namespace

inline void je_ref_merge_plan(je_ref_merge_scratch &s, yyjson_mut_val *base, yyjson_mut_val *patch) {
    s.patch_keys.clear();
    s.patch_first.clear();
    s.slot_keys.clear();
    s.slots.clear();
    size_t n = yyjson_mut_obj_size(patch);
    yyjson_mut_val *key = je_first_key(patch);
    for (size_t i = 0; i < n; ++i, key = je_next_key(key)) {
        if (s.patch_keys.find(je_key_view(key)) >= 0) continue;
        s.patch_keys.add(je_key_view(key));
        s.patch_first.push_back(key->next);
    }
    // Putting each base member in turn leaves one member per key, at the
    // place of its first occurrence, holding what its last occurrence built;
    // every occurrence pairs with the first patch member of that key.
    n = yyjson_mut_obj_size(base);
    key = je_first_key(base);
    for (size_t i = 0; i < n; ++i, key = je_next_key(key)) {
        int32_t at = s.slot_keys.find(je_key_view(key));
        if (at >= 0) {
            s.slots[static_cast<size_t>(at)].base = key->next;
            continue;
        }
        s.slot_keys.add(je_key_view(key));
        s.slots.push_back({key, key->next, nullptr});
    }
    size_t nbase = s.slots.size();
    for (je_ref_merge_slot &slot : s.slots) {
        int32_t p = s.patch_keys.find(je_key_view(slot.key));
        if (p >= 0) slot.patch = s.patch_first[static_cast<size_t>(p)];
    }
    // Patch members whose key the base has were merged above; the others
    // follow, collapsed the same way (first place, last value).
    n = yyjson_mut_obj_size(patch);
    key = je_first_key(patch);
    for (size_t i = 0; i < n; ++i, key = je_next_key(key)) {
        int32_t at = s.slot_keys.find(je_key_view(key));
        if (at >= 0) {
            if (static_cast<size_t>(at) >= nbase) s.slots[static_cast<size_t>(at)].patch = key->next;
            continue;
        }
        s.slot_keys.add(je_key_view(key));
        s.slots.push_back({key, nullptr, key->next});
    }
}

// Fills job.dst; nested object pairs become new empty objects queued as jobs
// of their own, so the merge never descends on the C stack.
inline bool je_ref_merge_fill(yyjson_mut_doc *doc, const je_ref_merge_job &job, je_ref_merge_scratch &s,
                              std::vector<je_ref_merge_job> &jobs) {
    je_ref_merge_plan(s, job.base, job.patch);
    for (const je_ref_merge_slot &slot : s.slots) {
        // The key keeps its full length: a NUL byte inside does not cut it.
        yyjson_mut_val *key = yyjson_mut_strncpy(doc, yyjson_mut_get_str(slot.key), yyjson_mut_get_len(slot.key));
        if (!key) return false;
        yyjson_mut_val *val;
        if (slot.base && slot.patch && yyjson_mut_is_obj(slot.base) && yyjson_mut_is_obj(slot.patch)) {
            val = yyjson_mut_obj(doc);
            if (val) jobs.push_back({val, slot.base, slot.patch});
        } else {
            val = je_deep_copy(doc, slot.patch ? slot.patch : slot.base);
        }
        if (!val || !yyjson_mut_obj_add(job.dst, key, val)) return false;
    }
    return true;
}

inline yyjson_mut_val *je_ref_merge_build(yyjson_mut_doc *doc, yyjson_mut_val *base, yyjson_mut_val *patch) {
    if (!doc || !patch) return nullptr;
    if (!base || !yyjson_mut_is_obj(base) || !yyjson_mut_is_obj(patch)) return je_deep_copy(doc, patch);
    try {
        yyjson_mut_val *root = yyjson_mut_obj(doc);
        if (!root) return nullptr;
        je_ref_merge_scratch scratch;
        std::vector<je_ref_merge_job> jobs;
        jobs.push_back({root, base, patch});
        while (!jobs.empty()) {
            je_ref_merge_job job = jobs.back();
            jobs.pop_back();
            if (!je_ref_merge_fill(doc, job, scratch, jobs)) return nullptr;
        }
        return root;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
