// Shared pieces of the benchmarks: the benchmark documents, the engine's
// loaded-document cache, the mutable documents the yyjson baselines work on,
// path splitting, an iterative tree walk, and registration helpers.
//
// Every operation is registered as a pair "family/document/engine" and
// "family/document/yyjson"; bench/report.py prints their ratio.
#pragma once

#include <benchmark/benchmark.h>
#include <yyjson.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "quendral/jsonengine.h"

namespace jebench {

struct doc {
    std::string name;                   // twitter, citm, canada, large, rows
    bool large = false;                 // many megabytes: shorter measuring
    std::function<std::string()> make;  // the text, made on first use
    mutable std::string text;
    mutable bool made = false;
    // The JSON text; a generated document is made when a benchmark first
    // needs it, so a filtered run does not pay for the others.
    const std::string &json() const {
        if (!made) {
            text = make();
            made = true;
            fprintf(stderr, "bench: %s is %zu bytes\n", name.c_str(), text.size());
        }
        return text;
    }
};

// The documents in registration order; only those present are listed.
std::vector<doc *> &docs();
doc *find_doc(const std::string &name);

// ---- engine side ------------------------------------------------------------

// Makes d the engine document unless it already is. False (after
// SkipWithError) when loading fails.
bool engine_load(benchmark::State &st, const doc &d);
// Forgets which document the engine holds (after merge, diff, from-csv).
void engine_forget();
// SkipWithError with the engine's message when ok is false; returns ok.
bool engine_ok(benchmark::State &st, bool ok, const char *what);
// Labels the benchmark when the engine's text and the baseline's differ, so
// the report shows that the pair did not do the same work.
void check_same(benchmark::State &st, const std::string &engine, const std::string &baseline);

// ---- baseline side ----------------------------------------------------------

// A mutable copy of d (yyjson_read + yyjson_doc_mut_copy), built on first use
// and kept until another document's copy is asked for.
yyjson_mut_doc *baseline_doc(const doc &d);

// One step of a "$.a.b[2]" path, split ahead of time for the baselines.
struct step {
    bool is_key;
    std::string key;
    size_t index;
};
std::vector<step> split_path(const char *path);
yyjson_mut_val *nav(yyjson_mut_val *root, const std::vector<step> &steps);

// Appends the compact text of a value (yyjson_mut_val_write, flag 0).
void append_val(std::string &out, const yyjson_mut_val *val);
void append_val(std::string &out, const yyjson_val *val);

// ---- tree walk without recursion ----------------------------------------------

enum class path_style { none, dollar, flat };

// Calls visit(key, val, level, path) for every value under root in document
// order, parents before children. key is the member's key value, or null for
// array elements and the root; the root is level 1. With a path style, path
// holds the value's reported path: "$.a[0]" (dollar) or "a[0]" (flat, no
// leading "$" or full stop). visit returns false to end the walk.
template <class F>
void walk(yyjson_mut_val *root, path_style style, F &&visit) {
    struct frame {
        yyjson_mut_obj_iter oi;
        yyjson_mut_arr_iter ai;
        size_t index;
        size_t path_len;
        bool obj;
    };
    std::string path = style == path_style::dollar ? "$" : "";
    std::vector<frame> stack;
    auto push = [&](yyjson_mut_val *ctn) {
        frame f{};
        f.obj = yyjson_mut_is_obj(ctn);
        if (f.obj)
            f.oi = yyjson_mut_obj_iter_with(ctn);
        else
            f.ai = yyjson_mut_arr_iter_with(ctn);
        f.path_len = path.size();
        stack.push_back(f);
    };
    if (!root || !visit(static_cast<yyjson_mut_val *>(nullptr), root, size_t{1}, path)) return;
    if (yyjson_mut_is_ctn(root)) push(root);
    while (!stack.empty()) {
        frame &f = stack.back();
        yyjson_mut_val *key = nullptr, *val;
        if (f.obj) {
            key = yyjson_mut_obj_iter_next(&f.oi);
            val = key ? yyjson_mut_obj_iter_get_val(key) : nullptr;
        } else {
            val = yyjson_mut_arr_iter_next(&f.ai);
        }
        if (!val) {
            stack.pop_back();
            continue;
        }
        size_t index = f.index++;
        if (style != path_style::none) {
            path.resize(f.path_len);
            if (key) {
                if (style == path_style::dollar || !path.empty()) path += '.';
                path += yyjson_mut_get_str(key);
            } else {
                path += '[';
                path += std::to_string(index);
                path += ']';
            }
        }
        size_t level = stack.size() + 1;
        if (!visit(key, val, level, path)) return;
        if (yyjson_mut_is_ctn(val)) push(val);  // f may dangle from here on
    }
}

// ---- registration ---------------------------------------------------------------

// Minimum measuring time of one benchmark: longer for the large documents,
// scaled by the environment variable JE_BENCH_TIME_SCALE (default 1).
double min_time(const doc &d);

// Registers the benchmark "family/doc/side"; fn runs the whole timing loop.
void add(const std::string &family, const doc &d, const char *side, std::function<void(benchmark::State &)> fn);

// The families, registered per document in this order by main.
void register_core(doc &d);     // load, get, set/delete
void register_query(doc &d);    // json_query
void register_inspect(doc &d);  // validate, stats, search, flatten, format
void register_convert(doc &d);  // diff, merge, CSV out, CSV in
void register_sustained();      // once: merges into documents of growing size

}  // namespace jebench
