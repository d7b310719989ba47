// UTF-8 to UTF-16 for the Windows wide API, shared by the engine's file
// opening and the jsonengine program. Windows only.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <climits>
#include <cstring>
#include <string>

// The UTF-16 form of a NUL-terminated UTF-8 text; false when it is not
// valid UTF-8 (or too long for the API).
inline bool je_utf8_to_wide(const char *text, std::wstring &out) {
    const size_t len = strlen(text);
    out.clear();
    if (len == 0) return true;
    if (len > static_cast<size_t>(INT_MAX)) return false;
    const int n = static_cast<int>(len);
    const int wide_len = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, n, nullptr, 0);
    if (wide_len <= 0) return false;
    out.resize(static_cast<size_t>(wide_len));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, n, out.data(), wide_len) == wide_len;
}
#endif
