// The built shared library as a host sees it: loaded with dlopen (or
// LoadLibrary on Windows), called through resolved pointers, and exporting
// exactly the 26 json_ functions.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <elf.h>
#endif

#include <cstring>
#include <set>
#include <string>

#include "je_test_util.h"

namespace {

const std::set<std::string> declared = {
    "json_last_error",   "json_parse",
    "json_parse_file",   "json_root_type",
    "json_get",          "json_extract",
    "json_set",          "json_delete",
    "json_query",        "json_query_count",
    "json_query_field",  "json_query_raw",
    "json_validate",     "json_validate_report_json",
    "json_stats_json",   "json_search",
    "json_search_count", "json_search_field",
    "json_flatten",      "json_format",
    "json_merge",        "json_diff",
    "json_diff_count",   "json_diff_field",
    "json_to_csv",       "json_from_csv",
};

#if defined(_WIN32)
// The export and import tables of the loaded DLL image: the names it
// exports (and how many entries its address table has) and the DLLs it
// imports from.
struct pe_tables {
    std::set<std::string> exports;
    size_t functions = 0;
    std::set<std::string> imports;
};

pe_tables read_pe_tables(HMODULE lib) {
    pe_tables t;
    const auto *base = reinterpret_cast<const unsigned char *>(lib);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS64 *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &exp = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (exp.VirtualAddress) {
        const auto *dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + exp.VirtualAddress);
        const auto *names = reinterpret_cast<const DWORD *>(base + dir->AddressOfNames);
        for (DWORD i = 0; i < dir->NumberOfNames; ++i)
            t.exports.insert(reinterpret_cast<const char *>(base + names[i]));
        t.functions = dir->NumberOfFunctions;
    }
    const IMAGE_DATA_DIRECTORY &imp = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imp.VirtualAddress) {
        for (const auto *d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imp.VirtualAddress); d->Name;
             ++d) {
            std::string name = reinterpret_cast<const char *>(base + d->Name);
            for (char &c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            t.imports.insert(name);
        }
    }
    return t;
}

TEST(Exports, ExactlyTheDeclaredFunctions) {
    std::string why;
    void *lib = je_lib_load(&why);
    ASSERT_NE(lib, nullptr) << why;
    pe_tables t = read_pe_tables(static_cast<HMODULE>(lib));
    for (const std::string &name : t.exports) EXPECT_TRUE(declared.count(name)) << "unexpected export: " << name;
    for (const std::string &name : declared) EXPECT_TRUE(t.exports.count(name)) << "missing export: " << name;
    EXPECT_EQ(t.functions, declared.size()) << "exports by ordinal only";
    EXPECT_EQ(declared.size(), 26u);
}

// The compiler's runtime (libgcc, libstdc++, winpthread) is linked in: a
// host needs no DLL beyond Windows' own and the C runtime.
TEST(Exports, ImportsOnlyWindowsAndTheCRuntime) {
    std::string why;
    void *lib = je_lib_load(&why);
    ASSERT_NE(lib, nullptr) << why;
    const std::set<std::string> allowed = {"KERNEL32.DLL", "MSVCRT.DLL", "UCRTBASE.DLL"};
    pe_tables t = read_pe_tables(static_cast<HMODULE>(lib));
    EXPECT_TRUE(t.imports.count("KERNEL32.DLL"));
    for (const std::string &name : t.imports)
        EXPECT_TRUE(allowed.count(name) || name.rfind("API-MS-WIN-CRT-", 0) == 0) << "imports " << name;
}
#else
// Calls each(section, its linked string table, file) for every section of
// type kind in a 64-bit ELF file; false with why set when the file is not
// one or a table runs past its end. Reading the file directly needs no tool
// on the machine.
template <class F>
bool elf_sections(const std::string &path, uint32_t kind, std::string &why, F &&each) {
    const std::string file = je_slurp(path);
    if (file.size() < sizeof(Elf64_Ehdr) || memcmp(file.data(), ELFMAG, SELFMAG) != 0) {
        why = "not an ELF file";
        return false;
    }
    Elf64_Ehdr eh;
    memcpy(&eh, file.data(), sizeof eh);
    if (eh.e_ident[EI_CLASS] != ELFCLASS64) {
        why = "not a 64-bit ELF file";
        return false;
    }
    auto section = [&](size_t i, Elf64_Shdr &sh) {
        size_t off = eh.e_shoff + i * eh.e_shentsize;
        if (i >= eh.e_shnum || off + sizeof sh > file.size()) return false;
        memcpy(&sh, file.data() + off, sizeof sh);
        return true;
    };
    bool found = false;
    for (size_t i = 0; i < eh.e_shnum; ++i) {
        Elf64_Shdr sh, strtab;
        if (!section(i, sh) || sh.sh_type != kind) continue;
        if (!section(sh.sh_link, strtab) || sh.sh_offset + sh.sh_size > file.size() ||
            strtab.sh_offset + strtab.sh_size > file.size()) {
            why = "truncated table";
            return false;
        }
        each(sh, strtab, file);
        found = true;
    }
    if (!found) why = "no such section";
    return found;
}

// Names of the defined symbols in the ELF file's dynamic symbol table.
bool defined_dynamic_symbols(const std::string &path, std::set<std::string> &names, std::string &why) {
    return elf_sections(path, SHT_DYNSYM, why,
                        [&](const Elf64_Shdr &sh, const Elf64_Shdr &strtab, const std::string &file) {
                            for (size_t off = sh.sh_offset; off + sizeof(Elf64_Sym) <= sh.sh_offset + sh.sh_size;
                                 off += sizeof(Elf64_Sym)) {
                                Elf64_Sym sym;
                                memcpy(&sym, file.data() + off, sizeof sym);
                                if (sym.st_shndx == SHN_UNDEF || sym.st_name >= strtab.sh_size) continue;
                                const char *name = file.data() + strtab.sh_offset + sym.st_name;
                                if (name[0]) names.insert(name);
                            }
                        });
}

// The texts of the ELF file's dynamic entries with the given tag: the
// libraries it names as needed (DT_NEEDED), its run paths (DT_RUNPATH).
bool dynamic_texts(const std::string &path, Elf64_Sxword tag, std::set<std::string> &texts, std::string &why) {
    return elf_sections(path, SHT_DYNAMIC, why,
                        [&](const Elf64_Shdr &sh, const Elf64_Shdr &strtab, const std::string &file) {
                            for (size_t off = sh.sh_offset; off + sizeof(Elf64_Dyn) <= sh.sh_offset + sh.sh_size;
                                 off += sizeof(Elf64_Dyn)) {
                                Elf64_Dyn dyn;
                                memcpy(&dyn, file.data() + off, sizeof dyn);
                                if (dyn.d_tag == tag && dyn.d_un.d_val < strtab.sh_size)
                                    texts.insert(file.data() + strtab.sh_offset + dyn.d_un.d_val);
                            }
                        });
}

bool needed_libraries(const std::string &path, std::set<std::string> &names, std::string &why) {
    return dynamic_texts(path, DT_NEEDED, names, why);
}

TEST(Exports, ExactlyTheDeclaredFunctions) {
    std::set<std::string> names;
    std::string why;
    ASSERT_TRUE(defined_dynamic_symbols(JE_LIB_PATH, names, why)) << JE_LIB_PATH << ": " << why;
    for (const std::string &name : names) EXPECT_TRUE(declared.count(name)) << "unexpected export: " << name;
    for (const std::string &name : declared) EXPECT_TRUE(names.count(name)) << "missing export: " << name;
    EXPECT_EQ(declared.size(), 26u);
}

// The library and the program carry the C++ runtime's pieces they use, so
// that a run does not load and bind the shared one (most of a short run's
// fixed cost). Sanitizer builds keep the shared runtime.
TEST(Exports, NoSharedCppRuntime) {
#if !JE_STATIC_CPP_RUNTIME
    GTEST_SKIP() << "this build links the shared C++ runtime";
#endif
    for (const char *path : {JE_LIB_PATH, JE_CLI_PATH}) {
        std::set<std::string> names;
        std::string why;
        ASSERT_TRUE(needed_libraries(path, names, why)) << path << ": " << why;
        for (const std::string &name : names)
            EXPECT_TRUE(name.rfind("libstdc++", 0) != 0 && name.rfind("libgcc_s", 0) != 0) << path << " needs " << name;
    }
}
// The program carries the engine rather than loading the library, and no
// run path of its has an empty entry, which the loader takes as the
// working directory: every library would first be looked for there.
TEST(Exports, ProgramNeedsNoEngineLibraryAndSearchesNoWorkingDirectory) {
    std::set<std::string> names, paths;
    std::string why;
    ASSERT_TRUE(needed_libraries(JE_CLI_PATH, names, why)) << why;
    for (const std::string &name : names) EXPECT_EQ(name.find("quendral"), std::string::npos) << "needs " << name;
    ASSERT_TRUE(dynamic_texts(JE_CLI_PATH, DT_RUNPATH, paths, why)) << why;
    ASSERT_TRUE(dynamic_texts(JE_CLI_PATH, DT_RPATH, paths, why)) << why;
    for (const std::string &p : paths) {
        std::string entries = ":" + p + ":";
        EXPECT_EQ(entries.find("::"), std::string::npos) << "run path with an empty entry: '" << p << "'";
    }
}
#endif

TEST(Exports, HostLoadsAndCallsTheLibrary) {
    const bool first_load = !je_lib_is_loaded();
    std::string why;
    void *lib = je_lib_load(&why);
    ASSERT_NE(lib, nullptr) << why;
    for (const std::string &name : declared) EXPECT_NE(je_lib_sym(lib, name.c_str()), nullptr) << name;
    EXPECT_EQ(je_lib_sym(lib, "je_parse_path"), nullptr);
    EXPECT_EQ(je_lib_sym(lib, "je_err"), nullptr);

    auto parse = reinterpret_cast<int (*)(const char *)>(je_lib_sym(lib, "json_parse"));
    auto get = reinterpret_cast<const char *(*)(const char *)>(je_lib_sym(lib, "json_get"));
    auto last_error = reinterpret_cast<const char *(*)()>(je_lib_sym(lib, "json_last_error"));
    auto root_type = reinterpret_cast<const char *(*)()>(je_lib_sym(lib, "json_root_type"));
    ASSERT_TRUE(parse && get && last_error && root_type);

    if (first_load) {
        // Loading runs no engine code: nothing loaded, no message.
        EXPECT_STREQ(last_error(), "");
        EXPECT_STREQ(root_type(), "");
        EXPECT_STREQ(get("$"), "");
        EXPECT_STREQ(last_error(), "no document loaded");
    }
    EXPECT_EQ(parse("{\"a\": [1, {\"b\": \"x\"}]}"), 0);
    EXPECT_STREQ(get("$.a[1].b"), "\"x\"");
    EXPECT_STREQ(root_type(), "object");
    EXPECT_EQ(parse("[1,]"), -1);
    EXPECT_STREQ(last_error(), "parse error: trailing comma is not allowed (line 1 col 3)");
    EXPECT_STREQ(get("$.a[0]"), "1");
    EXPECT_STREQ(get("$.zz"), "");
    EXPECT_STREQ(last_error(), "path not found: $.zz");

    // The library's state is its own, apart from the test program's
    // linked-in copy of the engine.
    ASSERT_EQ(json_parse("[\"linked copy\"]"), 0);
    EXPECT_STREQ(get("$"), "{\"a\":[1,{\"b\":\"x\"}]}");
    EXPECT_STREQ(last_error(), "");
    EXPECT_STREQ(json_get("$"), "[\"linked copy\"]");
    // No dlclose (FreeLibrary): the engine keeps its document and buffer for the life of
    // the process and releases nothing at unload, so unloading here would
    // only orphan them.
}

// The library as built (not the suites' linked-in copy) on a 1 MiB thread
// stack (CreateThread on Windows): a document nested 1,000,000 levels loads
// from a file, is read, edited, written and compared.
TEST(Exports, HostHandlesAMillionLevelsOnASmallStack) {
    std::string why;
    void *lib = je_lib_load(&why);
    ASSERT_NE(lib, nullptr) << why;
    using text_fn = const char *(*)(const char *);
    auto parse_file = reinterpret_cast<int (*)(const char *)>(je_lib_sym(lib, "json_parse_file"));
    auto get = reinterpret_cast<text_fn>(je_lib_sym(lib, "json_get"));
    auto set = reinterpret_cast<int (*)(const char *, const char *)>(je_lib_sym(lib, "json_set"));
    auto format = reinterpret_cast<text_fn>(je_lib_sym(lib, "json_format"));
    auto stats = reinterpret_cast<const char *(*)()>(je_lib_sym(lib, "json_stats_json"));
    auto query = reinterpret_cast<int (*)(const char *)>(je_lib_sym(lib, "json_query"));
    auto query_count = reinterpret_cast<int (*)()>(je_lib_sym(lib, "json_query_count"));
    auto diff = reinterpret_cast<int (*)(const char *)>(je_lib_sym(lib, "json_diff"));
    auto last_error = reinterpret_cast<const char *(*)()>(je_lib_sym(lib, "json_last_error"));
    ASSERT_TRUE(parse_file && get && set && format && stats && query && query_count && diff && last_error);

    const std::string deep = je_nested(JE_TEST_DEEP, "[", "]");
    const std::string file = je_temp_file(deep);
    je_run_small_stack([&] {
        ASSERT_EQ(parse_file(file.c_str()), 0) << last_error();
        // Compared as truth values: a failure would print megabytes.
        EXPECT_TRUE(get("$") == deep);
        EXPECT_TRUE(get("$[0][0][0]") == je_nested(JE_TEST_DEEP - 3, "[", "]"));
        EXPECT_TRUE(format("sorted") == deep);
        EXPECT_STREQ(stats(),
                     "{\"bytes\":2000000,\"depth\":1000000,\"keys\":0,\"numbers\":0,\"strings\":0,"
                     "\"arrays\":1000000,\"objects\":0}");
        EXPECT_EQ(query("$[0] | length"), 0) << last_error();
        EXPECT_EQ(query_count(), 1);
        EXPECT_EQ(diff(deep.c_str()), 0) << last_error();
        ASSERT_EQ(set("$[0][0]", "1"), 0) << last_error();
        EXPECT_TRUE(get("$[0]") == "[1," + je_nested(JE_TEST_DEEP - 2, "[", "]") + "]");
        ASSERT_EQ(set("$", "[2]"), 0) << last_error();
        EXPECT_STREQ(get("$"), "[2]");
    });
    unlink(file.c_str());
}

}  // namespace
