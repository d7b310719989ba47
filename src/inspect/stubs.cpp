// Placeholders for the inspection functions until they land.
#include "je_internal.h"

extern "C" JSONENGINE_API int json_validate(const char *) {
    je_set_error("not built yet");
    return -1;
}
extern "C" JSONENGINE_API const char *json_validate_report_json(void) { return "[]"; }
extern "C" JSONENGINE_API const char *json_stats_json(void) { return je_empty; }
extern "C" JSONENGINE_API int json_search(const char *, const char *) {
    je_set_error("not built yet");
    return -1;
}
extern "C" JSONENGINE_API int json_search_count(void) { return 0; }
extern "C" JSONENGINE_API const char *json_search_field(int, const char *) { return je_empty; }
extern "C" JSONENGINE_API const char *json_flatten(void) { return je_empty; }
extern "C" JSONENGINE_API const char *json_format(const char *) { return je_empty; }
