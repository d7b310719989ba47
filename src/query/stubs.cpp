// Placeholders for the query entry points until the query language lands.
#include "je_internal.h"

extern "C" JSONENGINE_API int json_query(const char *) {
    je_set_error("not built yet");
    return -1;
}
extern "C" JSONENGINE_API int json_query_count(void) { return 0; }
extern "C" JSONENGINE_API const char *json_query_field(int, const char *) { return je_empty; }
extern "C" JSONENGINE_API const char *json_query_raw(void) { return "[]"; }
