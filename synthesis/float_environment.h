// The floating-point environment a render runs in. The bytes are those of
// IEEE double arithmetic rounded to nearest, with subnormal numbers kept; a
// host may have set another rounding mode (numeric code does), or
// flush-to-zero and denormals-are-zero (audio and game engines do). An
// entry holds a DefaultFloatEnvironment for the whole call: it saves the
// caller's environment, status flags included, renders in the default one
// and puts the caller's back exactly as it was when the call returns or
// throws. The environment is per thread, so threads rendering at once do
// not disturb each other.
#pragma once

#if !defined(__EMSCRIPTEN__)  // WebAssembly has one rounding mode and no flags to keep
#include <cfenv>
#define TOLVIMO_FLOAT_ENVIRONMENT 1
#endif
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace tolvimo {

class DefaultFloatEnvironment {
public:
    DefaultFloatEnvironment() noexcept {
#if defined(TOLVIMO_FLOAT_ENVIRONMENT)
        std::fegetenv(&saved_);
#if defined(__SSE__)
        savedControl_ = _mm_getcsr();
#endif
        // Round to nearest, every exception masked, no flag raised; on ARM
        // (FPCR) flush-to-zero off.
        std::fesetenv(FE_DFL_ENV);
#if defined(__SSE__)
        // Flush-to-zero and denormals-are-zero off, whatever the C library
        // counts as its default.
        _mm_setcsr(_mm_getcsr() & ~(FLUSH_TO_ZERO | DENORMALS_ARE_ZERO));
#endif
#endif
    }

    ~DefaultFloatEnvironment() {
#if defined(TOLVIMO_FLOAT_ENVIRONMENT)
        std::fesetenv(&saved_);
#if defined(__SSE__)
        _mm_setcsr(savedControl_);  // the SSE controls and status flags too
#endif
#endif
    }

    DefaultFloatEnvironment(const DefaultFloatEnvironment&) = delete;
    DefaultFloatEnvironment& operator=(const DefaultFloatEnvironment&) = delete;

private:
#if defined(TOLVIMO_FLOAT_ENVIRONMENT)
    std::fenv_t saved_{};
#endif
#if defined(__SSE__)
    static constexpr unsigned FLUSH_TO_ZERO = 0x8000;
    static constexpr unsigned DENORMALS_ARE_ZERO = 0x0040;
    unsigned savedControl_ = 0;
#endif
};

}  // namespace tolvimo
