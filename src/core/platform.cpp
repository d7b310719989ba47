// The platform's file access for the loader: opening a file by its UTF-8
// name and taking its size with a 64-bit seek. The engine's Windows-specific
// code sits here.
#include <cstring>
#include <string>

#include "je_internal.h"
#include "je_wide.h"

#if defined(_WIN32)

// fopen reads a name in the ANSI code page; the engine's texts are UTF-8,
// so the name is checked with the engine's own UTF-8 rules, converted to
// UTF-16 and opened with _wfopen.
FILE *je_fopen_read(const char *path) {
    std::wstring wide;
    if (!je_utf8_valid(path, strlen(path)) || !je_utf8_to_wide(path, wide)) return nullptr;
    return _wfopen(wide.c_str(), L"rb");
}

bool je_file_size(FILE *f, int64_t *out_size) {
    if (_fseeki64(f, 0, SEEK_END) != 0) return false;
    *out_size = _ftelli64(f);
    return true;
}

#else

FILE *je_fopen_read(const char *path) { return fopen(path, "rb"); }

bool je_file_size(FILE *f, int64_t *out_size) {
    if (fseeko(f, 0, SEEK_END) != 0) return false;
    *out_size = ftello(f);
    return true;
}

#endif
