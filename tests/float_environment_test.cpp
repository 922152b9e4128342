// A host's floating-point environment must not change the bytes: each entry
// renders in round-to-nearest without flush-to-zero, whatever the caller set,
// and hands the caller's rounding mode, status flags and SSE control back
// as they were. Every kernel this CPU runs is tried, by hiding the wider
// ones from the dispatch.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "TolvimoWAVInstruments.h"
#include "request/render_entry.h"
#include "synthesis/fast/note_kernels.h"
#include "synthesis/fast/render_fast.h"

#if defined(TOLVIMO_FAST_PATH_X86) && (defined(__GNUC__) || defined(__clang__))
// The compiler runtime's record of the CPU, which __builtin_cpu_supports
// reads: clearing a feature's bit hides the kernels that need it.
struct CpuModel {
    unsigned vendor;
    unsigned type;
    unsigned subtype;
    unsigned features[1];
};
extern "C" CpuModel __cpu_model;  // NOLINT(bugprone-reserved-identifier)
#define TOLVIMO_HIDES_KERNELS 1
#endif

namespace tolvimo {
namespace {

using Bytes = std::vector<uint8_t>;

struct Request {
    std::u16string instrument;
    std::u16string notes;
    int32_t rate;
};

const Request REQUESTS[] = {
    {u"violin", u"C4E4G4A5C8C0B8", 44100},  // vibrato; upward rounding changed its bytes
    {u"organ", u"C0A4B8C#5", 8000},         // a fixed fundamental, rotated
    {u"bell", u"CDEFGAB", 192000},
};

// The host's environment for a call: a rounding mode, and on SSE
// flush-to-zero (bit 15) and denormals-are-zero (bit 6).
struct HostMode {
    const char* name;
    int rounding;
    unsigned flushBits;
};

const HostMode MODES[] = {
    {"upward", FE_UPWARD, 0},
    {"downward", FE_DOWNWARD, 0},
    {"toward zero", FE_TOWARDZERO, 0},
    {"flush to zero, denormals are zero", FE_TONEAREST, 0x8040},
    {"upward, flush to zero", FE_UPWARD, 0x8040},
};

unsigned ControlRegister() {
#if defined(__SSE__)
    return _mm_getcsr();
#else
    return 0;
#endif
}

Bytes ReadFile(const std::string& path) {
    Bytes bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        int c = 0;
        while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(file);
    }
    return bytes;
}

void* Reserve(void* context, size_t bytes) {
    auto& out = *static_cast<Bytes*>(context);
    out.resize(bytes);
    return out.data();
}

// The request's file through each entry: WAVInstruments, the stream and
// memory entries.
std::vector<Bytes> Render(const Request& request) {
    const std::string path = testing::TempDir() + "float_environment.wav";
    const std::u16string wide(path.begin(), path.end());
    std::vector<Bytes> out;
    const auto text = [](const std::u16string& s) {
        return reinterpret_cast<const TolvimoUtf16*>(s.c_str());
    };
    std::remove(path.c_str());
    WAVInstruments(text(request.instrument), text(request.notes), request.rate, text(wide));
    out.push_back(ReadFile(path));
    if (std::FILE* stream = std::fopen(path.c_str(), "w+b")) {
        RenderToStream(text(request.instrument), text(request.notes), request.rate, stream, "s");
        std::fclose(stream);
    }
    out.push_back(ReadFile(path));
    Bytes memory;
    RenderToMemory(text(request.instrument), text(request.notes), request.rate,
                   MemoryFormat::WavFile, MemorySink{Reserve, &memory});
    out.push_back(memory);
    return out;
}

TEST(FloatEnvironment, GivesTheSameBytesAndRestoresTheHostsState) {
    const NoteKernel* kernels[3] = {};
    const int32_t available = AvailableKernels(kernels);
    std::vector<std::vector<Bytes>> expected;
    for (const Request& request : REQUESTS) expected.push_back(Render(request));
    for (const auto& files : expected)
        for (const Bytes& file : files) ASSERT_GT(file.size(), 44U);
    // Widest kernel first; the narrower ones with the wider hidden.
    for (int32_t widest = available > 0 ? available : 1; widest >= 1; --widest) {
        std::string kernel = available > 0 ? kernels[widest - 1]->name : "scalar";
#if defined(TOLVIMO_HIDES_KERNELS)
        const unsigned saved = __cpu_model.features[0];
        const unsigned avx2 = 1U << 10U;
        const unsigned avx512f = 1U << 15U;
        if (widest < 3) __cpu_model.features[0] &= ~avx512f;
        if (widest < 2) __cpu_model.features[0] &= ~avx2;
        const NoteKernel* picked[3] = {};
        ASSERT_EQ(AvailableKernels(picked), widest) << "could not hide the kernels past " << kernel;
#endif
        for (const HostMode& mode : MODES) {
            for (size_t r = 0; r < std::size(REQUESTS); ++r) {
                ASSERT_EQ(std::fesetround(mode.rounding), 0);
#if defined(__SSE__)
                _mm_setcsr(ControlRegister() | mode.flushBits);
#endif
                std::feclearexcept(FE_ALL_EXCEPT);
                std::feraiseexcept(FE_DIVBYZERO);
                const unsigned control = ControlRegister();
                const std::vector<Bytes> got = Render(REQUESTS[r]);
                const int rounding = std::fegetround();
                const int flags = std::fetestexcept(FE_ALL_EXCEPT);
                const unsigned after = ControlRegister();
                std::fesetenv(FE_DFL_ENV);
#if defined(__SSE__)
                _mm_setcsr(ControlRegister() & ~0x8040U);
#endif
                const std::string what =
                    kernel + ", " + mode.name + ", request " + std::to_string(r);
                EXPECT_TRUE(got == expected[r]) << what << ": the bytes changed";
                EXPECT_EQ(rounding, mode.rounding) << what << ": rounding mode not restored";
                EXPECT_EQ(flags, FE_DIVBYZERO) << what << ": status flags not restored";
                EXPECT_EQ(after, control) << what << ": SSE control and status not restored";
            }
        }
#if defined(TOLVIMO_HIDES_KERNELS)
        __cpu_model.features[0] = saved;
#endif
    }
}

}  // namespace
}  // namespace tolvimo
