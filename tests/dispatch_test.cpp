// Which vector kernels the dispatch picks on this machine, against what the
// CPU reports of the features each needs: a kernel the CPU supports but the
// dispatch leaves out would go untested and unrun.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "synthesis/fast/note_kernels.h"
#include "synthesis/fast/render_fast.h"
#include "tests/cpu_report.h"

namespace tolvimo {
namespace {

TEST(Dispatch, PicksEveryKernelTheCpuReportsWidestLast) {
    const NoteKernel* const built[] = {
        &KERNEL_PAIRS,
#if defined(TOLVIMO_FAST_PATH_X86)
        &KERNEL_AVX2,
        &KERNEL_AVX512,
#endif
    };
    const NoteKernel* picked[3] = {};
    const int32_t n = AvailableKernels(picked);
    std::string expected;
    std::string got;
    for (const NoteKernel* kernel : built) {
        const KernelNeeds needs = KernelNeedsOf(kernel->name);
        if (needs.reported) expected += std::string(expected.empty() ? "" : " ") + kernel->name;
        std::printf("%s: needs %s\n", kernel->name, needs.features.c_str());
    }
    for (int32_t k = 0; k < n; ++k) got += std::string(k > 0 ? " " : "") + picked[k]->name;
    std::printf("picked: %s\n", got.c_str());
    EXPECT_EQ(got, expected) << "the dispatch does not pick what the CPU reports";
}

}  // namespace
}  // namespace tolvimo
