// The program's Windows pieces: UTF-8 arguments from the wide command line,
// standard streams in binary mode, and opening files by UTF-8 name, so the
// program reads and writes the same bytes as on Linux.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"

#if defined(_WIN32)
#include "je_wide.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

void cli_platform_init(int *argc, char ***argv) {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int n = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return;  // keep the C runtime's arguments
    // Kept for the life of the process, as argv is.
    static std::vector<std::string> texts;
    static std::vector<char *> pointers;
    texts.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        int len = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        if (len > 0) {
            texts[i].resize(static_cast<size_t>(len));
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, texts[i].data(), len, nullptr, nullptr);
            texts[i].resize(static_cast<size_t>(len) - 1);
        }
        pointers.push_back(texts[i].data());
    }
    pointers.push_back(nullptr);
    LocalFree(wide);
    *argc = n;
    *argv = pointers.data();
}

FILE *cli_fopen_read(const char *path) {
    std::wstring wide;
    if (!je_utf8_to_wide(path, wide) || wide.empty()) {
        errno = EINVAL;  // a name that is not UTF-8 names no file
        return nullptr;
    }
    FILE *f = _wfopen(wide.c_str(), L"rb");
    // The Windows C runtime refuses a directory with EACCES; say what POSIX says.
    if (!f && errno == EACCES) {
        DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) errno = EISDIR;
    }
    return f;
}

#else

void cli_platform_init(int *, char ***) {}

FILE *cli_fopen_read(const char *path) { return fopen(path, "rb"); }

#endif
