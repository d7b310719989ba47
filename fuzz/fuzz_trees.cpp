// Both trees of one document: a document, a path, a query and a search
// pattern (parts split at NUL bytes). Every read of the C interface, with
// the default probes and these, gives the same bytes, messages and rows on
// the document read in place and after the first edit made it mutable; the
// edit that makes the copy fails and leaves the document as it was.
#include "all_reads.h"
#include "fuzz_common.h"

namespace je_fuzz_trees {

inline void run(const uint8_t *data, size_t size) {
    std::vector<std::string> parts = je_fuzz_split(data, size, 4);
    if (json_parse(parts[0].c_str()) != 0) return;
    je_read_probes probes = je_default_probes();
    probes.paths.push_back(parts[1]);
    probes.queries.push_back(parts[2]);
    if (!parts[3].empty()) probes.patterns.push_back(parts[3]);
    probes.others.push_back(parts[0]);
    const std::string imut = je_all_reads(probes);
    const std::string before = je_fuzz_str(json_format("minify"));
    JE_CHECK(je_force_mutable(), "an edit with an empty value text succeeded");
    JE_CHECK(je_fuzz_str(json_format("minify")) == before, "the failed edit changed the document");
    const std::string mut = je_all_reads(probes);
    if (mut != imut) {
        size_t i = 0;
        while (i < mut.size() && i < imut.size() && mut[i] == imut[i]) ++i;
        size_t from = i > 80 ? i - 80 : 0;
        JE_CHECK(false,
                 "reads differ between the trees near: " + imut.substr(from, 160) + " || " + mut.substr(from, 160));
    }
}

}  // namespace je_fuzz_trees

#ifndef JE_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    je_fuzz_on_small_stack([&] { je_fuzz_trees::run(data, size); });
    return 0;
}
#endif
