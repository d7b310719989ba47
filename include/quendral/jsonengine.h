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
 *
 * Memory: on Linux, blocks of 256 KiB and more (a loaded text, a document's
 * values, the shared buffer) are whole 2 MiB pages marked for transparent
 * huge pages, which a large document then fills with a few page faults
 * instead of one per 4 KiB. Where the system grants huge pages, such a
 * block holds up to 2 MiB more than it needs; elsewhere the excess is never
 * touched and costs nothing.
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

/* ---- limits ------------------------------------------------------------
   Fixed sizes a host can see; every one is checked against the engine's
   own constant when the library is built. A "cut" field is a bounded copy:
   the text is kept up to that many bytes without a message. Tables keep
   their first rows in walk order and drop the rest without a message; the
   call still succeeds, so a count equal to the capacity means more may
   exist. */
#define JSONENGINE_ERROR_MAX 1023            /* bytes of a json_last_error message */
#define JSONENGINE_OUTPUT_MAX 67108864       /* shared buffer (64 MiB): its texts hold at most this - 1 bytes */
#define JSONENGINE_FILE_SIZE_MAX 2147483647  /* largest file json_parse_file reads (2 GiB - 1) */
#define JSONENGINE_PATH_MAX_STEPS 256        /* steps of a path given to the path functions */
#define JSONENGINE_PATH_KEY_MAX 511          /* bytes of one key step of such a path */
#define JSONENGINE_PATH_INDEX_MAX 2147483647 /* larger path indexes are clamped to this */
#define JSONENGINE_REPORTED_PATH_MAX 4095    /* bytes of a path that query, search, diff and flatten report */
#define JSONENGINE_QUERY_MAX_RESULTS 4000    /* rows of the query result table */
#define JSONENGINE_QUERY_VALUE_MAX 12287     /* json_query_field "value" cut (json_query_raw is whole) */
#define JSONENGINE_QUERY_MAX_NESTING 64      /* nesting of map stages and filter operands */
#define JSONENGINE_QUERY_NAME_MAX 127        /* bytes of a member name in a query, cut */
#define JSONENGINE_QUERY_STRING_MAX 511      /* bytes of a string literal in a query, cut */
#define JSONENGINE_VALIDATE_MAX_DEPTH 512    /* deepest nesting the depth rule allows (root is 1) */
#define JSONENGINE_SEARCH_MAX_HITS 10000     /* rows of the search hit table */
#define JSONENGINE_SEARCH_KEY_MAX 511        /* json_search_field "key" cut */
#define JSONENGINE_SEARCH_VALUE_MAX 4095     /* json_search_field "value" cut ("path" is cut as reported paths) */
#define JSONENGINE_FLATTEN_MAX_LEAVES 10000  /* leaves json_flatten writes */
#define JSONENGINE_DIFF_MAX_ROWS 10000       /* rows of the diff table */
#define JSONENGINE_DIFF_FIELD_MAX 4095       /* json_diff_field "path", "a" and "b" cut */
#define JSONENGINE_CSV_MAX_COLUMNS 256       /* columns of both CSV conversions (more are dropped) */
#define JSONENGINE_CSV_CELL_MAX 255          /* bytes of a CSV cell or header name json_from_csv keeps */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- errors ---------------------------------------------------------- */

/* The message of the last failure, "" after a successful working call.
   Engine-owned; changes with the next call that clears or sets it. */
JSONENGINE_API const char *json_last_error(void);

/* ---- loading --------------------------------------------------------- */

/* Loads a NUL-terminated JSON text as the engine document. 0 or -1; on
   failure the previous document stays loaded: "parse error: ... (line L
   col C)", or "null input" for NULL. */
JSONENGINE_API int json_parse(const char *text);

/* Reads a whole file (at most JSONENGINE_FILE_SIZE_MAX bytes, sized by a
   seek to its end, so a pipe or FIFO is refused) and loads it like
   json_parse. 0 or -1; NULL fails with "null path"; "cannot open file:
   PATH" (also for a directory), "seek failed: PATH", "tell failed: PATH"
   for a size past the limit, "short read on PATH". The text ends at its
   first NUL byte. */
JSONENGINE_API int json_parse_file(const char *path);

/* "object", "array", "string", "number", "bool" or "null" for the root of
   the loaded document, "" when none is loaded. Engine-owned; its text
   changes with the next json_root_type call. */
JSONENGINE_API const char *json_root_type(void);

/* ---- paths ----------------------------------------------------------- */

/* Compact JSON text of the value at a path such as $.a.b[2]. In the shared
   buffer, valid until the next call that writes it; "" on failure
   ("null path" for NULL). */
JSONENGINE_API const char *json_get(const char *path);

/* Same as json_get in every respect. */
JSONENGINE_API const char *json_extract(const char *path);

/* Puts the JSON value text at the path: replaces the root for "$", puts an
   object member (creating missing intermediate objects) or inserts an
   array element before the index. 0 or -1; a NULL path fails with "null
   path", a NULL value with "value: null value". */
JSONENGINE_API int json_set(const char *path, const char *value);

/* Removes the object member(s) or array element at the path. 0 or -1; a
   failure changes nothing; NULL fails with "null path". */
JSONENGINE_API int json_delete(const char *path);

/* ---- query ----------------------------------------------------------- */

/* Runs a query such as $.store.book[?.price > 10].title and stores its
   results (at most JSONENGINE_QUERY_MAX_RESULTS, the first in walk
   order; a count at that size means more may exist) in the result table,
   emptied first. 0 or -1; NULL fails with "empty query". */
JSONENGINE_API int json_query(const char *query);

/* Number of results of the last json_query (0 to
   JSONENGINE_QUERY_MAX_RESULTS). */
JSONENGINE_API int json_query_count(void);

/* Field "path" or "value" (compact JSON, cut at JSONENGINE_QUERY_VALUE_MAX
   bytes) of result row index. Engine-owned; valid until the next
   json_query_field call for the same field. An unknown field name gives
   "". A bad index or a NULL field gives "" and also empties both fields'
   texts, so a "path" or "value" text returned before reads "". */
JSONENGINE_API const char *json_query_field(int index, const char *field);

/* All result values as one JSON array: "[]" without results, otherwise in
   the shared buffer, valid until the next call that writes it; "" when the
   text cannot be made. */
JSONENGINE_API const char *json_query_raw(void);

/* ---- validation ------------------------------------------------------ */

/* Checks a JSON text against the rules syntax, root, trailing,
   duplicate-keys, number-range and depth (JSONENGINE_VALIDATE_MAX_DEPTH
   levels). 0 when all pass, -1 otherwise (NULL fails with "null input").
   Does not touch the loaded document. */
JSONENGINE_API int json_validate(const char *text);

/* The last validation's report, a JSON array of six rule objects, or "[]".
   Engine-owned; valid until the next json_validate call. */
JSONENGINE_API const char *json_validate_report_json(void);

/* ---- statistics ------------------------------------------------------ */

/* {"bytes":..,"depth":..,"keys":..,"numbers":..,"strings":..,"arrays":..,
   "objects":..} for the loaded document; "bytes" is the length of its
   compact text. "" on failure. Engine-owned; valid until the next
   json_stats_json call. */
JSONENGINE_API const char *json_stats_json(void);

/* ---- search ---------------------------------------------------------- */

/* Finds a substring in keys and/or string values; mode "key", "value",
   "both" or NULL (both). Stores at most JSONENGINE_SEARCH_MAX_HITS hits,
   the first in document order. 0 or -1; a NULL or empty pattern fails
   with "empty search pattern". 0 with a message left: a key hit's value
   could not be written ("internal: json write failed"; that hit's value
   is empty). */
JSONENGINE_API int json_search(const char *mode, const char *pattern);

/* Number of hits of the last json_search. */
JSONENGINE_API int json_search_count(void);

/* Field "path", "key" (empty for a value hit) or "value" (a key hit: the
   member's value as compact JSON; a value hit: the string's own text, not
   quoted) of hit index, cut at JSONENGINE_REPORTED_PATH_MAX,
   JSONENGINE_SEARCH_KEY_MAX and JSONENGINE_SEARCH_VALUE_MAX bytes; "" for
   a bad index or a NULL or unknown field.
   Engine-owned; valid until the next json_search_field call for the same
   field. */
JSONENGINE_API const char *json_search_field(int index, const char *field);

/* ---- flattening and formatting --------------------------------------- */

/* One JSON object mapping every leaf's path to its value (the first
   JSONENGINE_FLATTEN_MAX_LEAVES leaves; {"$":root} when there is none).
   In the shared buffer, valid until the next call that writes it; "" on
   failure. A text with a message left: a leaf could not be written
   ("internal: json write failed"; null stands in its place). */
JSONENGINE_API const char *json_flatten(void);

/* The document as text: mode "pretty" (or NULL), "minify" or "sorted"
   (minified, keys of every object in byte order). In the shared buffer,
   valid until the next call that writes it; "" on failure. */
JSONENGINE_API const char *json_format(const char *mode);

/* ---- merge and diff -------------------------------------------------- */

/* Deep-merges the JSON text into the loaded document (objects merge, every
   other value from the patch wins). 0 or -1; a failure leaves the document
   as it was. Costs what the patch touches, not the document's size.
   A patch that is not JSON, or NULL, fails with "merge target: ...". */
JSONENGINE_API int json_merge(const char *patch);

/* Compares the loaded document (side a) with the JSON text (side b) and
   stores at most JSONENGINE_DIFF_MAX_ROWS difference rows, emptied
   first. 0 or -1; a text that is not JSON, or NULL, fails with "diff
   target: ...". */
JSONENGINE_API int json_diff(const char *other);

/* Number of rows of the last json_diff. */
JSONENGINE_API int json_diff_count(void);

/* Field "path", "type" ("added", "removed", "changed"), "a" or "b" of row
   index, cut at JSONENGINE_DIFF_FIELD_MAX bytes; "" for a bad index or a
   NULL or unknown field. Engine-owned; valid until the next
   json_diff_field call for the same field. */
JSONENGINE_API const char *json_diff_field(int index, const char *field);

/* ---- CSV ------------------------------------------------------------- */

/* The array at the path (NULL or "" for "$") as CSV with a header of all
   object keys (the first JSONENGINE_CSV_MAX_COLUMNS). In the shared
   buffer, valid until the next call that writes it; "" on failure, and ""
   without a message for an empty array. A text with a message left: a
   cell could not be written ("internal: json write failed"). */
JSONENGINE_API const char *json_to_csv(const char *path);

/* Reads CSV with a header line and makes it the loaded document, an array
   of typed records (at most JSONENGINE_CSV_MAX_COLUMNS columns, cells
   and names cut at JSONENGINE_CSV_CELL_MAX bytes). 0 or -1; on failure
   the previous document stays; NULL fails with "null csv". */
JSONENGINE_API int json_from_csv(const char *csv);

#ifdef __cplusplus
}
#endif

#endif /* QUENDRAL_JSONENGINE_H */
