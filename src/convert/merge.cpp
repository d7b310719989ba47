// json_merge: deep merge of a patch value into the engine document. Objects
// merge member by member; for every other pair the patch's value wins.
//
// The merge works in place and costs what the patch touches: only the
// objects it visits (a document object met by a patch object at the same
// place) are looked at, and members the patch does not name stay where
// they are. It runs in two phases so that a failure leaves the document as
// it was. Planning walks the visited pairs and makes every copy the result
// needs (values and keys taken over from the patch); these are the only
// steps that can fail. Applying then relinks members, which cannot fail,
// and hands what the result no longer holds to the storage accounting.
#include <vector>

#include "je_convert.h"

namespace {

// A visited pair still to plan.
struct je_merge_job {
    yyjson_mut_val *obj;
    yyjson_val *patch;
};

// A member whose value the patch replaces.
struct je_merge_swap {
    yyjson_mut_val *key;
    yyjson_mut_val *val;
};

// A member appended to a visited object.
struct je_merge_add {
    yyjson_mut_val *obj;
    yyjson_mut_val *key;
    yyjson_mut_val *val;
};

struct je_merge_member {
    yyjson_mut_val *key;
    yyjson_mut_val *val;
};

// A visited object that held a key more than once: its members are relinked
// as members[first, first + count).
struct je_merge_ring {
    yyjson_mut_val *obj;
    size_t first;
    size_t count;
};

// One distinct key of the document object being planned: the key as first
// met, the value of its last occurrence (the one the result keeps).
struct je_merge_slot {
    yyjson_mut_val *key;
    yyjson_mut_val *last;
};

struct je_merge_plan {
    std::vector<je_merge_job> jobs;
    std::vector<je_merge_swap> swaps;
    std::vector<je_merge_add> adds;
    std::vector<je_merge_ring> rings;
    std::vector<je_merge_member> members;
    std::vector<yyjson_mut_val *> drop_vals;  // values the result no longer holds
    std::vector<yyjson_mut_val *> drop_keys;  // keys of collapsed duplicates

    // Scratch of the pair being planned.
    je_key_table patch_keys;                // distinct patch keys
    std::vector<yyjson_val *> patch_first;  // first patch value per key
    std::vector<yyjson_val *> patch_last;   // last patch value per key
    std::vector<char> patch_in_base;        // whether the document object has the key
    je_key_table base_keys;
    std::vector<je_merge_slot> slots;
};

}  // namespace

static std::string_view je_imut_key_view(yyjson_val *key) {
    return std::string_view(yyjson_get_str(key), yyjson_get_len(key));
}

// Plans one visited pair. Every document member is paired with the first
// patch member of its key; a key the document holds more than once keeps
// its first place and what its last occurrence builds; keys only the patch
// has follow in the patch's order, each with a copy of its last value.
static bool je_merge_plan_pair(yyjson_mut_doc *doc, je_merge_plan &p, const je_merge_job &job) {
    p.patch_keys.clear();
    p.patch_first.clear();
    p.patch_last.clear();
    p.base_keys.clear();
    p.slots.clear();
    yyjson_obj_iter pit = yyjson_obj_iter_with(job.patch);
    while (yyjson_val *key = yyjson_obj_iter_next(&pit)) {
        yyjson_val *val = yyjson_obj_iter_get_val(key);
        int32_t at = p.patch_keys.find(je_imut_key_view(key));
        if (at >= 0) {
            p.patch_last[static_cast<size_t>(at)] = val;
            continue;
        }
        p.patch_keys.add(je_imut_key_view(key));
        p.patch_first.push_back(val);
        p.patch_last.push_back(val);
    }
    p.patch_in_base.assign(p.patch_first.size(), 0);

    bool dups = false;
    size_t n = yyjson_mut_obj_size(job.obj);
    yyjson_mut_val *key = je_first_key(job.obj);
    for (size_t i = 0; i < n; ++i, key = je_next_key(key)) {
        int32_t at = p.base_keys.find(je_key_view(key));
        if (at >= 0) {
            p.slots[static_cast<size_t>(at)].last = key->next;
            dups = true;
            continue;
        }
        p.base_keys.add(je_key_view(key));
        p.slots.push_back({key, key->next});
    }

    size_t first = p.members.size();
    for (const je_merge_slot &slot : p.slots) {
        yyjson_mut_val *val = slot.last;
        int32_t at = p.patch_keys.find(je_key_view(slot.key));
        if (at >= 0) {
            p.patch_in_base[static_cast<size_t>(at)] = 1;
            yyjson_val *vp = p.patch_first[static_cast<size_t>(at)];
            if (yyjson_mut_is_obj(slot.last) && yyjson_is_obj(vp)) {
                p.jobs.push_back({slot.last, vp});
            } else {
                val = yyjson_val_mut_copy(doc, vp);
                if (!val) return false;
                p.drop_vals.push_back(slot.last);
                if (!dups) p.swaps.push_back({slot.key, val});
            }
        }
        if (dups) p.members.push_back({slot.key, val});
    }
    for (size_t i = 0; i < p.patch_first.size(); ++i) {
        if (p.patch_in_base[i]) continue;
        // The key keeps its full length: a NUL byte inside does not cut it.
        std::string_view k = p.patch_keys.key(static_cast<int32_t>(i));
        yyjson_mut_val *kc = yyjson_mut_strncpy(doc, k.data(), k.size());
        yyjson_mut_val *vc = kc ? yyjson_val_mut_copy(doc, p.patch_last[i]) : nullptr;
        if (!vc) return false;
        if (dups)
            p.members.push_back({kc, vc});
        else
            p.adds.push_back({job.obj, kc, vc});
    }
    if (!dups) return true;
    // Every occurrence but the kept one goes: later keys, earlier values.
    key = je_first_key(job.obj);
    for (size_t i = 0; i < n; ++i, key = je_next_key(key)) {
        const je_merge_slot &slot = p.slots[static_cast<size_t>(p.base_keys.find(je_key_view(key)))];
        if (key != slot.key) p.drop_keys.push_back(key);
        if (key->next != slot.last) p.drop_vals.push_back(key->next);
    }
    p.rings.push_back({job.obj, first, p.members.size() - first});
    return true;
}

// Carries out a finished plan; nothing here allocates or fails.
static void je_merge_apply(je_merge_plan &p) {
    for (const je_merge_swap &s : p.swaps) {
        s.val->next = s.key->next->next;
        s.key->next = s.val;
    }
    for (const je_merge_ring &r : p.rings) {
        for (size_t i = 0; i < r.count; ++i) {
            const je_merge_member &m = p.members[r.first + i];
            m.key->next = m.val;
            m.val->next = p.members[r.first + (i + 1) % r.count].key;
        }
        r.obj->uni.ptr = p.members[r.first + r.count - 1].key;
        unsafe_yyjson_set_len(r.obj, r.count);
    }
    for (const je_merge_add &a : p.adds) unsafe_yyjson_mut_obj_add(a.obj, a.key, a.val, unsafe_yyjson_get_len(a.obj));
    // Only now, with every kept value relinked: dropping reuses the links of
    // what it drops.
    for (yyjson_mut_val *v : p.drop_vals) je_store_drop(v);
    for (yyjson_mut_val *k : p.drop_keys) je_store_drop_key(k);
}

// Merges patch into the engine document; false when memory runs out, with
// the document as it was.
static bool je_merge_into(yyjson_mut_doc *doc, yyjson_val *patch) {
    yyjson_mut_val *root = yyjson_mut_doc_get_root(doc);
    if (!yyjson_mut_is_obj(root) || !yyjson_is_obj(patch)) {
        yyjson_mut_val *copy = yyjson_val_mut_copy(doc, patch);
        if (!copy) return false;
        yyjson_mut_doc_set_root(doc, copy);
        je_store_drop_root();
        return true;
    }
    try {
        je_merge_plan plan;
        plan.jobs.push_back({root, patch});
        while (!plan.jobs.empty()) {
            je_merge_job job = plan.jobs.back();
            plan.jobs.pop_back();
            if (!je_merge_plan_pair(doc, plan, job)) return false;
        }
        je_merge_apply(plan);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

extern "C" JSONENGINE_API int json_merge(const char *patch) {
    je_err_clear();
    return je_guard(-1, [&] {
        je_edit_scope scope;
        if (!je_doc_ensure()) {
            je_set_error("no document loaded");
            return -1;
        }
        // The parsed patch lives in storage of this call; only what the
        // result takes over is copied into the document.
        const char *message = nullptr;
        je_doc_guard parsed(je_read_value(patch, &message));
        if (!parsed.d) {
            je_set_errorf("merge target: %s", message ? message : "invalid JSON");
            return -1;
        }
        if (!je_doc_mut()) return -1;
        if (!je_merge_into(je_doc, yyjson_doc_get_root(parsed.d))) {
            je_set_error("merge failed (memory)");
            return -1;
        }
        return scope.result(0);
    });
}
