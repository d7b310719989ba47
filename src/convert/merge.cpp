// json_merge: deep merge of a patch value into the engine document. Objects
// merge member by member; for every other pair the patch's value wins.
#include <vector>

#include "je_convert.h"

namespace {

// An empty result object still to be filled from two source objects.
struct je_merge_job {
    yyjson_mut_val *dst;
    yyjson_mut_val *base;
    yyjson_mut_val *patch;
};

// One member of a result object: its key as first met, and the values it
// is built from (the last occurrence on each side that counts).
struct je_merge_slot {
    yyjson_mut_val *key;
    yyjson_mut_val *base;
    yyjson_mut_val *patch;
};

// Scratch tables reused by every object of one merge.
struct je_merge_scratch {
    je_key_table patch_keys;                    // distinct patch keys
    std::vector<yyjson_mut_val *> patch_first;  // first patch value per key
    je_key_table slot_keys;                     // distinct keys of the result
    std::vector<je_merge_slot> slots;
};

}  // namespace

static void je_merge_plan(je_merge_scratch &s, yyjson_mut_val *base, yyjson_mut_val *patch) {
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
    for (je_merge_slot &slot : s.slots) {
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
static bool je_merge_fill(yyjson_mut_doc *doc, const je_merge_job &job, je_merge_scratch &s,
                          std::vector<je_merge_job> &jobs) {
    je_merge_plan(s, job.base, job.patch);
    for (const je_merge_slot &slot : s.slots) {
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

yyjson_mut_val *je_merge_build(yyjson_mut_doc *doc, yyjson_mut_val *base, yyjson_mut_val *patch) {
    if (!doc || !patch) return nullptr;
    if (!base || !yyjson_mut_is_obj(base) || !yyjson_mut_is_obj(patch)) return je_deep_copy(doc, patch);
    try {
        yyjson_mut_val *root = yyjson_mut_obj(doc);
        if (!root) return nullptr;
        je_merge_scratch scratch;
        std::vector<je_merge_job> jobs;
        jobs.push_back({root, base, patch});
        while (!jobs.empty()) {
            je_merge_job job = jobs.back();
            jobs.pop_back();
            if (!je_merge_fill(doc, job, scratch, jobs)) return nullptr;
        }
        return root;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

extern "C" JSONENGINE_API int json_merge(const char *patch) {
    je_err_clear();
    return je_guard(-1, [&] {
        if (!je_doc_ensure()) {
            je_set_error("no document loaded");
            return -1;
        }
        if (!je_doc_mut()) return -1;
        const char *message = nullptr;
        yyjson_mut_val *value = je_parse_val(je_doc, patch, &message);
        if (!value) {
            je_set_errorf("merge target: %s", message ? message : "invalid JSON");
            return -1;
        }
        yyjson_mut_val *merged = je_merge_build(je_doc, yyjson_mut_doc_get_root(je_doc), value);
        if (!merged) {
            je_set_error("merge failed (memory)");
            return -1;
        }
        yyjson_mut_doc_set_root(je_doc, merged);
        return 0;
    });
}
