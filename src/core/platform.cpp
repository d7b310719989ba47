// The platform's file access for the loader: opening a file by its UTF-8
// name, its size through a 64-bit seek, and reading it. The engine's
// Windows-specific code sits here.
#include <cstring>
#include <string>

#include "je_internal.h"
#include "je_wide.h"

#if defined(_WIN32)

je_file::~je_file() {
    if (f) fclose(f);
}

// The name is checked with the engine's own UTF-8 rules, converted to
// UTF-16 and opened with _wfopen.
bool je_file::open(const char *path) {
    std::wstring wide;
    if (!je_utf8_valid(path, strlen(path)) || !je_utf8_to_wide(path, wide)) return false;
    f = _wfopen(wide.c_str(), L"rb");
    return f != nullptr;
}

// _wfopen refuses a directory itself.
bool je_file::is_directory() const { return false; }

bool je_file::size(int64_t *out_size) {
    if (_fseeki64(f, 0, SEEK_END) != 0) return false;
    *out_size = _ftelli64(f);
    return true;
}

void je_file::rewind() { ::rewind(f); }

size_t je_file::read(void *buf, size_t n) { return fread(buf, 1, n, f); }

#else

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

// One read() call moves at most this much (Linux stops short of 2 GiB).
constexpr size_t JE_READ_CALL_MAX = size_t{1} << 30;

je_file::~je_file() {
    if (fd >= 0) close(fd);
}

bool je_file::open(const char *path) {
    do fd = ::open(path, O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) == 0) {
        directory = S_ISDIR(st.st_mode);
        regular = S_ISREG(st.st_mode);
        regular_size = static_cast<int64_t>(st.st_size);
    }
    return true;
}

bool je_file::is_directory() const { return directory; }

// As the C library's seek to the end: a regular file's end is the size it
// reports (a kernel file that reports 0 thus reads as empty), anything else
// is asked to seek (a pipe cannot).
bool je_file::size(int64_t *out_size) {
    int64_t end = regular ? regular_size : static_cast<int64_t>(lseek(fd, 0, SEEK_END));
    if (end < 0) return false;
    *out_size = end;
    return true;
}

void je_file::rewind() { lseek(fd, 0, SEEK_SET); }

size_t je_file::read(void *buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        size_t want = n - got < JE_READ_CALL_MAX ? n - got : JE_READ_CALL_MAX;
        ssize_t r = ::read(fd, static_cast<char *>(buf) + got, want);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    return got;
}

#endif
