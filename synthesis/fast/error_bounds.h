// The constants NoteErrorBound builds its bound from. proof/check_error_bound.py
// proves each one (Gappa, Sollya and exact fractions) for the committed
// coefficients, kernels and preset table, and `ctest -L proof` fails when one
// no longer holds; each is written rounded up from the figure it proves.
#pragma once

namespace tolvimo {

// |vector sine - sin(2 pi r)| and |vector cosine - cos(2 pi r)| for every
// double |r| <= 1/8 turn, under Horner's rule fused or not: the series'
// approximation error plus every rounding of its evaluation.
constexpr double SINE_ERROR = 16.4 / 9007199254740992.0;
constexpr double COSINE_ERROR = 501.3 / 9007199254740992.0;
// The larger of the two: the error of either component.
constexpr double SINCOS_ERROR = SINE_ERROR > COSINE_ERROR ? SINE_ERROR : COSINE_ERROR;

// A pair evaluated as above and then rotated up to ROTATIONS_PER_ANCHOR times
// by a step pair from std::sin and std::cos lies within this distance (as a
// vector) of the sine and cosine of its angle.
constexpr double ROTATED_PAIR_ERROR = 608.0 / 9007199254740992.0;

// Over |c| <= 1 + the pair's error, |U_j(c)| <= (1 + CHEBYSHEV_SLACK)(j + 1)
// and |U_j'(c)| <= (1 + CHEBYSHEV_SLACK) j (j + 1) (j + 2) / 3 for every j
// below VOICE_MAX_HARMONICS.
constexpr double CHEBYSHEV_SLACK = 1e-9;

// The folded polynomial under Horner's rule in cos x, fused or not, over |cos
// x| <= 1 + the pair's error, with its coefficients' roundings: within
// POLYNOMIAL_ERROR x u x sum_j g_j sum_k |U_j[k]| of sum_j g_j U_j(cos x) for
// every preset voice.
constexpr double POLYNOMIAL_ERROR = 3.0;

// The scalar path's sum of its rounded sines and its value's products, the
// sines' own error (1 ulp each) and the vector path's last two products,
// together within SUM_ERROR x u x 0.6 x 32767 of the exact value for every
// preset voice.
constexpr double SUM_ERROR = 8.0;

// The envelope levels of a sample on the two paths differ by at most
// (ENVELOPE_ERROR + ENVELOPE_TIME_ERROR x T / L) x u for a note of T seconds,
// L the shortest nonzero decay or release (at most 1 s): the attack's
// quotients, and the decay's and release's roundings plus their times'
// difference, which grows with the time.
constexpr double ENVELOPE_ERROR = 10.0;
constexpr double ENVELOPE_TIME_ERROR = 3.0001;

// How far the double TWO_PI lies below the true 2 pi.
constexpr double TWO_PI_SHORTFALL = 2.45e-16;

}  // namespace tolvimo
