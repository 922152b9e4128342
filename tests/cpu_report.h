// What the processor reports of the features each vector kernel needs, read
// from cpuid and the register state the operating system saves, not through
// the library's dispatch: the dispatch test and the proof's kernel comparison
// check the dispatch against it.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace tolvimo {

struct KernelNeeds {
    bool reported;         // the CPU (and the operating system) support it
    std::string features;  // what it needs, and which of those are missing
};

#if defined(__x86_64__) || defined(__i386__)
namespace cpu_report {

inline uint64_t SavedState() {
    uint32_t low = 0;
    uint32_t high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<uint64_t>(high) << 32) | low;
}

}  // namespace cpu_report
#endif

// The needs of the kernel named `name` ("pairs", "avx2", "avx512") on this
// machine.
inline KernelNeeds KernelNeedsOf(const char* name) {
#if defined(__x86_64__) || defined(__i386__)
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t c = 0;
    uint32_t d = 0;
    __get_cpuid(1, &a, &b, &c, &d);
    const bool sse2 = (d >> 26) & 1U;
    const bool fma = (c >> 12) & 1U;
    const bool xsave = (c >> 27) & 1U;
    uint32_t b7 = 0;
    if (__get_cpuid_max(0, nullptr) >= 7) __get_cpuid_count(7, 0, &a, &b7, &c, &d);
    const bool avx2 = (b7 >> 5) & 1U;
    const bool avx512f = (b7 >> 16) & 1U;
    const uint64_t saved = xsave ? cpu_report::SavedState() : 0;
    const bool ymm = (saved & 0x6U) == 0x6U;    // SSE and AVX state
    const bool zmm = (saved & 0xE6U) == 0xE6U;  // and the AVX-512 state
    struct Need {
        const char* feature;
        bool present;
    };
    const Need pairs[] = {{"sse2", sse2}};
    const Need wide[] = {{"avx2", avx2}, {"fma", fma}, {"ymm state", ymm}};
    const Need widest[] = {{"avx512f", avx512f}, {"fma", fma}, {"zmm state", zmm}};
    const Need* needs = pairs;
    size_t count = 1;
    if (std::strcmp(name, "avx2") == 0) {
        needs = wide;
        count = 3;
    } else if (std::strcmp(name, "avx512") == 0) {
        needs = widest;
        count = 3;
    }
    KernelNeeds out{true, ""};
    std::string missing;
    for (size_t k = 0; k < count; ++k) {
        out.features += (k > 0 ? ", " : "") + std::string(needs[k].feature);
        if (!needs[k].present)
            missing += (missing.empty() ? "" : ", ") + std::string(needs[k].feature);
    }
    if (!missing.empty()) {
        out.reported = false;
        out.features += "; this CPU lacks " + missing;
    }
    return out;
#else
    (void)name;
    return {true, "the target's baseline"};
#endif
}

}  // namespace tolvimo
