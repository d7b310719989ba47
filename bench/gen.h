// Deterministic generators for the large benchmark inputs: a document of
// about 50 MB with a realistic mix of values, and an array of small flat
// records for the CSV conversions. The same seed always gives the same text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace jebench {

// A small linear congruential generator: fixed sequence on every platform.
struct lcg {
    uint64_t s;
    explicit lcg(uint64_t seed) : s(seed) {}
    uint32_t next() {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(s >> 33);
    }
};

inline void appendf(std::string &out, const char *fmt, auto... args) {
    char piece[256];
    int n = snprintf(piece, sizeof piece, fmt, args...);
    if (n > 0) out.append(piece, static_cast<size_t>(n) < sizeof piece ? static_cast<size_t>(n) : sizeof piece - 1);
}

constexpr int LARGE_ITEMS = 200000;

// {"meta":{...},"items":[{id,name,email,score,active,tags,address,history,note},...]}
// Scores are multiples of 0.25 in [0, 100), so "score > 99" selects about 1%.
inline std::string gen_large() {
    static const char *const cities[] = {"Lyon", "Paris", "Nantes", "Lille", "Brest", "Nice", "Metz", "Pau"};
    lcg r(42);
    std::string out;
    out.reserve(52u << 20);
    appendf(out, "{\"meta\":{\"generator\":\"jebench\",\"count\":%d,\"version\":1},\"items\":[", LARGE_ITEMS);
    for (int i = 0; i < LARGE_ITEMS; ++i) {
        if (i) out += ',';
        unsigned score = r.next() % 400;
        appendf(out, "{\"id\":%d,\"name\":\"item-%d\",\"email\":\"user%u@example.com\",\"score\":%u.%02u,", i, i,
                r.next() % 100000, score / 4, (score % 4) * 25);
        appendf(out, "\"active\":%s,\"tags\":[\"t%u\",\"t%u\",\"t%u\"],", (r.next() & 1) ? "true" : "false",
                r.next() % 50, r.next() % 50, r.next() % 50);
        appendf(out, "\"address\":{\"city\":\"%s\",\"zip\":\"%05u\",\"geo\":[%.6f,%.6f]},", cities[r.next() % 8],
                r.next() % 100000, (r.next() % 180000000) / 1e6 - 90.0, (r.next() % 360000000) / 1e6 - 180.0);
        appendf(out, "\"history\":[%u,%u,%u,%u,%u],", r.next() % 1000, r.next() % 1000, r.next() % 1000,
                r.next() % 1000, r.next() % 1000);
        if (i % 7 == 0)
            out += "\"note\":\"caf\\u00e9 \\\"quoted\\\" \\/ tab\\t\"}";
        else
            out += "\"note\":null}";
    }
    out += "]}";
    return out;
}

// {"meta":{"v":0},"records":[{"id":..,"name":..,"score":..,"active":..},...]}:
// about 57 bytes per record, for the sustained-editing measurements.
inline std::string gen_records(long records) {
    lcg r(7);
    std::string out = "{\"meta\":{\"v\":0},\"records\":[";
    for (long i = 0; i < records; ++i) {
        if (i) out += ',';
        unsigned score = r.next() % 40000;
        appendf(out, "{\"id\":%ld,\"name\":\"n%ld\",\"score\":%u.%02u,\"active\":%s}", i, i, score / 100, score % 100,
                (r.next() & 1) ? "true" : "false");
    }
    return out + "]}";
}

constexpr int ROWS = 1000000;

// [{"id":..,"name":..,"score":..,"active":..},...]; every tenth name holds a
// comma, so the CSV writer has cells to quote.
inline std::string gen_rows() {
    lcg r(7);
    std::string out;
    out.reserve(56u << 20);
    out += '[';
    for (int i = 0; i < ROWS; ++i) {
        if (i) out += ',';
        unsigned score = r.next() % 40000;
        appendf(out, "{\"id\":%d,\"name\":\"n%d%s\",\"score\":%u.%02u,\"active\":%s}", i, i, i % 10 ? "" : ",x",
                score / 100, score % 100, (r.next() & 1) ? "true" : "false");
    }
    out += ']';
    return out;
}

// The records of gen_rows as CSV with a header line, for the end-to-end
// comparison of reading CSV.
inline std::string gen_rows_csv() {
    lcg r(7);
    std::string out = "id,name,score,active\n";
    out.reserve(32u << 20);
    for (int i = 0; i < ROWS; ++i) {
        unsigned score = r.next() % 40000;
        appendf(out, i % 10 ? "%d,n%d,%u.%02u,%s\n" : "%d,\"n%d,x\",%u.%02u,%s\n", i, i, score / 100, score % 100,
                (r.next() & 1) ? "true" : "false");
    }
    return out;
}

}  // namespace jebench
