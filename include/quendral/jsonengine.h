/*
 * quendral-jsonengine: the public C interface.
 *
 * The engine holds one JSON document at a time in process-wide state. Every
 * text result points into storage the engine owns: the host reads it, never
 * frees or changes it, and copies it when it needs it past the call named
 * "valid until" below. Text results are never NULL; a failing call returns
 * "" and leaves its reason for json_last_error(). Status functions return 0
 * on success and -1 on failure. Calls must not overlap (one thread at a
 * time).
 *
 * "The shared buffer" below is one growable block that json_get,
 * json_extract, json_format, json_to_csv, json_flatten and json_query_raw
 * write; each successful call of any of them overwrites (and may move) the
 * text an earlier one returned.
 *
 * A document may be edited for as long as the host likes: what edits leave
 * behind (replaced and removed values, values of failed calls) is reclaimed,
 * so the engine holds at most about twice what the live document needs plus
 * about a megabyte.
 */
#ifndef QUENDRAL_JSONENGINE_H
#define QUENDRAL_JSONENGINE_H

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(QUENDRAL_JSONENGINE_BUILD)
#define JSONENGINE_API __declspec(dllexport)
#else
#define JSONENGINE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define JSONENGINE_API __attribute__((visibility("default")))
#else
#define JSONENGINE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- errors ---------------------------------------------------------- */

/* The message of the last failure, "" after a successful working call.
   Engine-owned; changes with the next call that clears or sets it. */
JSONENGINE_API const char *json_last_error(void);

/* ---- loading --------------------------------------------------------- */

/* Loads a NUL-terminated JSON text as the engine document. 0 or -1; on
   failure the previous document stays loaded. */
JSONENGINE_API int json_parse(const char *text);

/* Reads a whole file and loads it like json_parse. 0 or -1. */
JSONENGINE_API int json_parse_file(const char *path);

/* "object", "array", "string", "number", "bool" or "null" for the root of
   the loaded document, "" when none is loaded. Engine-owned; its text
   changes with the next json_root_type call. */
JSONENGINE_API const char *json_root_type(void);

/* ---- paths ----------------------------------------------------------- */

/* Compact JSON text of the value at a path such as $.a.b[2]. In the shared
   buffer, valid until the next call that writes it; "" on failure. */
JSONENGINE_API const char *json_get(const char *path);

/* Same as json_get in every respect. */
JSONENGINE_API const char *json_extract(const char *path);

/* Puts the JSON value text at the path: replaces the root for "$", puts an
   object member (creating missing intermediate objects) or inserts an
   array element before the index. 0 or -1. */
JSONENGINE_API int json_set(const char *path, const char *value);

/* Removes the object member(s) or array element at the path. 0 or -1; a
   failure changes nothing. */
JSONENGINE_API int json_delete(const char *path);

/* ---- query ----------------------------------------------------------- */

/* Runs a query such as $.store.book[?.price > 10].title and stores its
   results (at most 4000) in the result table, emptied first. 0 or -1. */
JSONENGINE_API int json_query(const char *query);

/* Number of results of the last json_query (0 to 4000). */
JSONENGINE_API int json_query_count(void);

/* Field "path" or "value" (compact JSON, cut at 12287 bytes) of result
   row index; "" for a bad index or field. Engine-owned; valid until the
   next json_query_field call for the same field. */
JSONENGINE_API const char *json_query_field(int index, const char *field);

/* All result values as one JSON array: "[]" without results, otherwise in
   the shared buffer, valid until the next call that writes it; "" when the
   text cannot be made. */
JSONENGINE_API const char *json_query_raw(void);

/* ---- validation ------------------------------------------------------ */

/* Checks a JSON text against the rules syntax, root, trailing,
   duplicate-keys, number-range and depth (512 levels). 0 when all pass,
   -1 otherwise. Does not touch the loaded document. */
JSONENGINE_API int json_validate(const char *text);

/* The last validation's report, a JSON array of six rule objects, or "[]".
   Engine-owned; valid until the next json_validate call. */
JSONENGINE_API const char *json_validate_report_json(void);

/* ---- statistics ------------------------------------------------------ */

/* {"bytes":..,"depth":..,"keys":..,"numbers":..,"strings":..,"arrays":..,
   "objects":..} for the loaded document; "" on failure. Engine-owned;
   valid until the next json_stats_json call. */
JSONENGINE_API const char *json_stats_json(void);

/* ---- search ---------------------------------------------------------- */

/* Finds a substring in keys and/or string values; mode "key", "value",
   "both" or NULL (both). Stores at most 10000 hits. 0 or -1. */
JSONENGINE_API int json_search(const char *mode, const char *pattern);

/* Number of hits of the last json_search. */
JSONENGINE_API int json_search_count(void);

/* Field "path", "key" or "value" of hit index; "" for a bad index or field.
   Engine-owned; valid until the next json_search_field call for the same
   field. */
JSONENGINE_API const char *json_search_field(int index, const char *field);

/* ---- flattening and formatting --------------------------------------- */

/* One JSON object mapping every leaf's path to its value. In the shared
   buffer, valid until the next call that writes it; "" on failure. */
JSONENGINE_API const char *json_flatten(void);

/* The document as text: mode "pretty" (or NULL), "minify" or "sorted"
   (minified, keys of every object in byte order). In the shared buffer,
   valid until the next call that writes it; "" on failure. */
JSONENGINE_API const char *json_format(const char *mode);

/* ---- merge and diff -------------------------------------------------- */

/* Deep-merges the JSON text into the loaded document (objects merge, every
   other value from the patch wins). 0 or -1; a failure leaves the document
   as it was. Costs what the patch touches, not the document's size. */
JSONENGINE_API int json_merge(const char *patch);

/* Compares the loaded document (side a) with the JSON text (side b) and
   stores at most 10000 difference rows, emptied first. 0 or -1. */
JSONENGINE_API int json_diff(const char *other);

/* Number of rows of the last json_diff. */
JSONENGINE_API int json_diff_count(void);

/* Field "path", "type" ("added", "removed", "changed"), "a" or "b" of row
   index; "" for a bad index or field. Engine-owned; valid until the next
   json_diff_field call for the same field. */
JSONENGINE_API const char *json_diff_field(int index, const char *field);

/* ---- CSV ------------------------------------------------------------- */

/* The array at the path (NULL or "" for "$") as CSV with a header of all
   object keys. In the shared buffer, valid until the next call that writes
   it; "" on failure. */
JSONENGINE_API const char *json_to_csv(const char *path);

/* Reads CSV with a header line and makes it the loaded document, an array
   of typed records. 0 or -1; on failure the previous document stays. */
JSONENGINE_API int json_from_csv(const char *csv);

#ifdef __cplusplus
}
#endif

#endif /* QUENDRAL_JSONENGINE_H */
