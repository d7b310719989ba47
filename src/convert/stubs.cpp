// Placeholders for merge, diff and CSV until they land.
#include "je_internal.h"

extern "C" JSONENGINE_API int json_merge(const char *) {
    je_set_error("not built yet");
    return -1;
}
extern "C" JSONENGINE_API int json_diff(const char *) {
    je_set_error("not built yet");
    return -1;
}
extern "C" JSONENGINE_API int json_diff_count(void) { return 0; }
extern "C" JSONENGINE_API const char *json_diff_field(int, const char *) { return je_empty; }
extern "C" JSONENGINE_API const char *json_to_csv(const char *) { return je_empty; }
extern "C" JSONENGINE_API int json_from_csv(const char *) {
    je_set_error("not built yet");
    return -1;
}
