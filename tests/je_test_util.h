// Helpers shared by the test suites: a thread with a small stack for depth
// tests, nested-document builders, the shared data directory and a runner
// for the jsonengine program.
#pragma once

#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "quendral/jsonengine.h"

// Depth tests run every operation on a thread with this stack.
constexpr size_t JE_TEST_SMALL_STACK = 1u << 20;
// Nesting of the depth-safety documents.
constexpr size_t JE_TEST_DEEP = 1000000;

// Runs fn on a thread whose stack is `stack` bytes and waits for it.
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
    struct stat st;
    if (stat(JE_DATA_DIR, &st) == 0 && S_ISDIR(st.st_mode)) return JE_DATA_DIR;
    return "";
}

inline std::string je_slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::string je_temp_file(const std::string &content, const std::string &suffix = ".json") {
    char name[] = "/tmp/je_test_XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) abort();
    close(fd);
    std::string path = std::string(name) + suffix;
    rename(name, path.c_str());
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

struct je_cli_result {
    int status;
    std::string out;
    std::string err;
};

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
