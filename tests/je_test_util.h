// Helpers shared by the test suites: a thread with a small stack for depth
// tests, nested-document builders, the shared data directory and a runner
// for the jsonengine program.
#pragma once

#if defined(_WIN32)
#include <io.h>

#include <process.h>
#include "je_wide.h"  // windows.h
#else
#include <dlfcn.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "quendral/jsonengine.h"

// Depth tests run every operation on a thread with this stack.
constexpr size_t JE_TEST_SMALL_STACK = 1u << 20;
// Nesting of the depth-safety documents.
constexpr size_t JE_TEST_DEEP = 1000000;

// Runs fn on a thread whose stack is `stack` bytes and waits for it.
#if defined(_WIN32)
// The stack size is the reservation, so the thread's stack is exactly that.
inline void je_run_small_stack(const std::function<void()> &fn, size_t stack = JE_TEST_SMALL_STACK) {
    auto *arg = new std::function<void()>(fn);
    HANDLE th = CreateThread(
        nullptr, stack,
        [](LPVOID p) -> DWORD {
            auto *f = static_cast<std::function<void()> *>(p);
            (*f)();
            delete f;
            return 0;
        },
        arg, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!th) {
        delete arg;
        fprintf(stderr, "CreateThread failed\n");
        abort();
    }
    WaitForSingleObject(th, INFINITE);
    CloseHandle(th);
}
#else
inline void je_run_small_stack(const std::function<void()> &fn, size_t stack = JE_TEST_SMALL_STACK) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, stack);
    pthread_t th;
    auto *arg = new std::function<void()>(fn);
    int rc = pthread_create(
        &th, &attr,
        [](void *p) -> void * {
            auto *f = static_cast<std::function<void()> *>(p);
            (*f)();
            delete f;
            return nullptr;
        },
        arg);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete arg;
        fprintf(stderr, "pthread_create failed\n");
        abort();
    }
    pthread_join(th, nullptr);
}
#endif

// depth levels of `open`, then `inner`, then the matching `close`s:
// je_nested(3, "[", "]") is [[[]]], je_nested(2, "{\"a\":", "}", "1") is {"a":{"a":1}}.
inline std::string je_nested(size_t depth, const std::string &open, const std::string &close,
                             const std::string &inner = "") {
    std::string s;
    s.reserve(depth * (open.size() + close.size()) + inner.size());
    for (size_t i = 0; i < depth; ++i) s += open;
    s += inner;
    for (size_t i = 0; i < depth; ++i) s += close;
    return s;
}

// The shared data directory, or "" when it is absent (a user's clone).
inline std::string je_data_dir() {
    std::error_code ec;
    if (std::filesystem::is_directory(JE_DATA_DIR, ec)) return JE_DATA_DIR;
    return "";
}

// A file system path from a UTF-8 name (on Windows, std::string names are
// read in the ANSI code page).
inline std::filesystem::path je_fs_path(const std::string &utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string je_slurp(const std::string &path) {
    std::ifstream in(je_fs_path(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void je_write_file(const std::string &path, const std::string &content) {
    std::ofstream(je_fs_path(path), std::ios::binary) << content;
}

#if defined(_WIN32)
// A new file in the temporary folder, its name in UTF-8 with '/' separators;
// like mkstemp, the name is one no file had (CREATE_NEW), whatever earlier
// runs left behind.
inline std::string je_temp_file(const std::string &content, const std::string &suffix = ".json") {
    static std::atomic<unsigned> counter{0};
    const std::u8string dir = std::filesystem::temp_directory_path().generic_u8string();
    std::string base(dir.begin(), dir.end());
    if (!base.empty() && base.back() != '/') base += '/';
    base += "je_test_" + std::to_string(GetCurrentProcessId()) + "_";
    for (;;) {
        std::string name = base + std::to_string(counter++);
        HANDLE h = CreateFileW(je_fs_path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            abort();
        }
        CloseHandle(h);
        std::string path = name + suffix;
        std::filesystem::rename(je_fs_path(name), je_fs_path(path));
        je_write_file(path, content);
        return path;
    }
}
#else
inline std::string je_temp_file(const std::string &content, const std::string &suffix = ".json") {
    char name[] = "/tmp/je_test_XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) abort();
    close(fd);
    std::string path = std::string(name) + suffix;
    rename(name, path.c_str());
    je_write_file(path, content);
    return path;
}
#endif

// The built shared library loaded as a host loads it (LoadLibrary or
// dlopen): its handle, or null with the reason in *why.
#if defined(_WIN32)
inline std::wstring je_lib_wide_path() {
    std::wstring p = std::filesystem::path(JE_LIB_PATH).wstring();
    for (wchar_t &c : p)
        if (c == L'/') c = L'\\';
    return p;
}
inline bool je_lib_is_loaded() { return GetModuleHandleW(je_lib_wide_path().c_str()) != nullptr; }
inline void *je_lib_load(std::string *why) {
    HMODULE lib = LoadLibraryW(je_lib_wide_path().c_str());
    if (!lib) *why = "LoadLibrary failed with error " + std::to_string(GetLastError());
    return reinterpret_cast<void *>(lib);
}
inline void *je_lib_sym(void *lib, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(lib), name));
}
#else
inline bool je_lib_is_loaded() { return dlopen(JE_LIB_PATH, RTLD_NOW | RTLD_NOLOAD) != nullptr; }
inline void *je_lib_load(std::string *why) {
    void *lib = dlopen(JE_LIB_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!lib) *why = dlerror();
    return lib;
}
inline void *je_lib_sym(void *lib, const char *name) { return dlsym(lib, name); }
#endif

struct je_cli_result {
    int status;
    std::string out;
    std::string err;
};

#if defined(_WIN32)
// The words of a POSIX shell command line (as the tests write them: words,
// '...' quoting, backslash escapes), so the same argument texts reach the
// program on both platforms.
inline std::vector<std::string> je_shell_words(const std::string &line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\'') {
            size_t end = line.find('\'', i + 1);
            if (end == std::string::npos) end = line.size();
            word.append(line, i + 1, end - i - 1);
            i = end;
            in_word = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            in_word = true;
        } else if (c == ' ' || c == '\t') {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(word);
    return words;
}

// One argument quoted for CommandLineToArgvW and the C runtime's parser.
inline std::wstring je_win_quote(const std::wstring &arg) {
    std::wstring s = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        s.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        s += c;
    }
    s.append(backslashes * 2, L'\\');
    return s + L"\"";
}

inline std::wstring je_wide(const std::string &utf8) { return je_fs_path(utf8).wstring(); }

// Runs `jsonengine ARGS` (shell words) with `input` on standard input,
// through CreateProcessW with files as its standard streams.
inline je_cli_result je_run_cli(const std::string &args, const std::string &input = "") {
    std::string in = je_temp_file(input, ".in");
    std::string out = in + ".out", err = in + ".err";
    std::wstring cmd = je_win_quote(je_wide(JE_CLI_PATH));
    for (const std::string &w : je_shell_words(args)) cmd += L" " + je_win_quote(je_wide(w));
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto open = [&](const std::string &p, bool write) {
        return CreateFileW(je_wide(p).c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, &inherit,
                           write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE h_in = open(in, false), h_out = open(out, true), h_err = open(err, true);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = h_in;
    si.hStdOutput = h_out;
    si.hStdError = h_err;
    PROCESS_INFORMATION pi{};
    int status = -1;
    std::string failure;
    if (h_in == INVALID_HANDLE_VALUE || h_out == INVALID_HANDLE_VALUE || h_err == INVALID_HANDLE_VALUE)
        failure = "CreateFileW failed with error " + std::to_string(GetLastError());
    else if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        failure = "CreateProcessW failed with error " + std::to_string(GetLastError());
    else {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(pi.hProcess, &code)) status = static_cast<int>(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    for (HANDLE h : {h_in, h_out, h_err})
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    je_cli_result r{status, je_slurp(out), failure.empty() ? je_slurp(err) : failure};
    std::error_code ec;
    for (const std::string &p : {in, out, err}) std::filesystem::remove(je_fs_path(p), ec);
    return r;
}
#else
// Runs `jsonengine ARGS` through the shell with `input` on standard input.
inline je_cli_result je_run_cli(const std::string &args, const std::string &input = "") {
    std::string in = je_temp_file(input, ".in");
    std::string out = in + ".out", err = in + ".err";
    std::string cmd = std::string("'") + JE_CLI_PATH + "' " + args + " < '" + in + "' > '" + out + "' 2> '" + err + "'";
    int raw = system(cmd.c_str());
    je_cli_result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, je_slurp(out), je_slurp(err)};
    unlink(in.c_str());
    unlink(out.c_str());
    unlink(err.c_str());
    return r;
}
#endif
