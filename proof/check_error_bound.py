#!/usr/bin/env python3
"""Proves the constants of synthesis/fast/error_bounds.h, which NoteErrorBound
(synthesis/fast/render_fast.cpp) builds its bound from, for the numbers a build
compiled: dump_kernel_facts prints them, this program writes Gappa and Sollya
scripts from them (the kernel's and the scalar path's steps from
kernel_model.py, which is checked bit for bit against the code), runs them,
composes the rest in exact fractions and compares NoteErrorBound with the
bound so composed. It exits 0
when every constant is proven, 1 when one is not, 2 when a tool is missing or
misbehaves. Gappa's verdict is its exit status on explicit goals.

The derivation (u = 2^-53; "Gappa" and "Sollya" mark certified steps):

 1. The vector sine and cosine of r turns, |r| <= 1/8. The reduction to r =
    turns - q / 4, q the nearest whole number to 4 turns, is exact with |r|
    <= 1/8, and q mod 4 sits in the low bits of the shifted sum, for turns 0 and every
    binade from the least positive turns a kernel computes (a sample period
    times the slowest pitch or vibrato) to the most (the highest pitch the
    notes name, bent by the deepest vibrato, over a note): Gappa, one run
    per binade on the model's steps, fused and unfused (the binades' union
    audited against those turns), and exact checks of ROUNDING_SHIFT's low
    bits.
    sin(2 pi r) ~ r S(r^2), cos(2 pi r) ~ C(r^2), coefficients the
    doubles fit_sincos.sollya fits (checked: any other digits fail).
    Sollya's supnorm bounds |r S(r^2) - sin(2 pi r)| and |C(r^2) - cos(2 pi
    r)| in exact arithmetic (no other command is accepted for them); Gappa bounds Horner's rule in doubles against
    the same polynomials, fused and unfused, for every double r. Their sums
    are at most SINE_ERROR and COSINE_ERROR. The quarter-turn swap and
    negation are exact, so each result is within one of the two.
 2. A rotation step: the kernels' strides S; f S rounds not at all when S is
    a power of two, else once, and / rate once (Gappa, relative, for every
    double f from the lowest pitch or vibrato rate to the highest and every
    rate within the request's limits); whole turns drop
    exactly (Sterbenz); the angle frac x 2pi_d rounds below 2u (Gappa, |frac|
    <= 1/2) and 2pi_d falls short of 2 pi by <= TWO_PI_SHORTFALL (checked
    with a 50-digit enclosure of pi). Beta, in MAX_STRIDE samples' turns,
    covers every stride.
 3. One rotation rounds each component by at most rho (Gappa, fused and
    unfused, |s|, |c| <= c0 = 1 + ROTATED_PAIR_ERROR, |S|, |C| <= 1). With
    the step pair (S, C) within 1 ulp (<= u) of the sine and cosine of its
    angle (std::sin and std::cos: an assumption about the C library), the
    exact rotation by (S, C) is the rotation by that angle, which keeps the
    length of the error vector e, plus a matrix of norm <= sqrt(2) u applied
    to the true pair (length 1) plus e. So |e'| <= |e| (1 + sqrt(2) u) +
    sqrt(2) u + sqrt(2) rho, from |e_0| <= sqrt(SINE_ERROR^2 +
    COSINE_ERROR^2), and after n steps |e| <= ROTATED_PAIR_ERROR (the
    angle's own error is beta's), n the longest run of rotations between
    fresh evaluations of either pair the kernels rotate (the fixed
    fundamental's and the vibrato's own), measured by running them, and
    never fewer than ROTATIONS_PER_ANCHOR. The constant must also lie within
    ROTATED_PAIR_TIGHTNESS of the figure, so that counting fewer steps fails.
 4. The pair (s, c) within (e_s, e_c) of (sin x, cos x): by the Chebyshev
    identity sin x P(cos x) = sum_j g_j sin((j + 1) x), and |s P(c) - sin x
    P(cos x)| <= e_s max |P| + e_c max |P'| over |c| <= c0. There |U_j(c)|
    <= U_j(c0) and |U_j'(c)| <= U_j'(c0) (on [-1, 1] |U_j| <= j + 1 = U_j(1)
    and |U_j'| <= U_j'(1) = j (j + 1)(j + 2) / 3; beyond 1 both grow, all
    roots of U_j and its derivatives lying inside (-1, 1); U_j has the parity
    of j). U_j(c0) and U_j'(c0) are computed exactly and Sollya's infnorm
    certifies both maxima directly: each <= (1 + CHEBYSHEV_SLACK) times its
    value at 1. (|U_j(c)| <= (j + 1)|c|^j, once used here, is false above 1.)
 5. The polynomial: for each preset voice, the folded doubles p_k against
    sum_j g_j U_j[k] with exact g_j = a_j G / H (G = OUTPUT_GAIN x
    FULL_SCALE, exact): sum_k |p_k - exact| c0^k, exactly; Horner's rule on
    the p_k in doubles, fused and unfused, for every double |c| <= c0
    (Gappa). Their sum is at most POLYNOMIAL_ERROR u sum_j g_j sum_k
    |U_j[k]|.
 6. The sums and products: the scalar path's value, fl(fl(fl(level x fl(sum
    / H)) x OUTPUT_GAIN) x FULL_SCALE) with sum = fl(sum + fl(a_j s_j)) over
    the rounded sines s_j, |s_j| <= 1, level in [0, 1], is within
    SCALAR_ROUNDING u G of the exact value (Gappa); the sines' own error,
    1 ulp <= u each (std::sin: the C library assumption again), adds sum_j
    a_j u / H x G <= u G as sum_j a_j <= H (checked); the vector path's
    fl(fl(s P) x level) with |s P| <= 1.001 G adds VECTOR_ROUNDING u G
    (Gappa). Together at most SUM_ERROR u G.
 7. The envelope: the phase is chosen by the sample's index on both paths.
    The attack: the scalar's fl(fl(i / rate) / A) and the vector's fl(fl(i x
    fl(1 / rate)) x fl(1 / A)) lie within 2u and 4u (relative, Gappa, any A
    in [2^-20, 1]) of i / (rate A) <= 1, so within 6u <= ENVELOPE_ERROR u.
    The times: ts = fl(i / rate) and tv = fl(i x fl(1 / rate)) lie within u
    and (ENVELOPE_TIME_ERROR - 1) u of i / rate (Gappa). The decay and the
    release, each voice's own constants and formulas on each path: apart
    from the difference the exact formulas make of ts and tv, (1 - sustain)
    (tv - ts) / decay or sustain (tv - ts) / release, at most
    ENVELOPE_TIME_ERROR u T / L, the levels lie within ENVELOPE_ERROR u of
    each other (Gappa, over the phase's times; t < T <= the note's length).
 8. The angles: the scalar's argument of harmonic j and of the vibrato
    within SCALAR_ANGLE_ROUNDING and SCALAR_VIBRATO_ROUNDING, the kernel's
    turns within VECTOR_TURNS_ROUNDING, relative (Gappa). With vibrato, each
    path's bent frequency, the scalar's fl(fl(1 + fl(D s)) f) and the
    kernel's fl(fl(D f) w + f) (D f rounded once a note, the sum with the
    product where fused), within side_rounding(D) f of its exact value, (1 +
    D s) f or (1 + D w) f (Gappa, per voice, the kernel's fused and unfused,
    f's range split into pieces), composed into rho in exact fractions;
    |s P| <= PRODUCT_LIMIT G, the vector products' hypothesis, is checked
    per voice.
 9. The bound B: the sum of the pieces 1-8 as they are proven, each entered
    in a Ledger by the check that proves it as a link between two quantities
    of a sample's value, from the vector path's value to the scalar path's;
    evaluated exactly for every voice over a grid of pitches and rates, with
    the kernels' strides and measured rotations. NoteErrorBound must be it
    times 1.01, from below and, within BOUND_ABOVE, from above.
Every range a script assumes is derived from the limits (Ranges), checked to
cover what they allow, and every hypothesis of every Gappa script and every
interval of a Sollya norm is checked to cover its range (a hypothesis on
anything without a derived range fails).
Run by ctest (label `proof`); --perturb changes one fact first, to show the
proof refutes it.
"""
import argparse
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
from fractions import Fraction as F

import kernel_model as model

U = F(1, 2**53)
# pi to 50 decimals, and the enclosure that follows from it.
PI_DIGITS = F("3.14159265358979323846264338327950288419716939937510")
PI_LOW, PI_HIGH = PI_DIGITS, PI_DIGITS + F(1, 10**50)
SQRT2_HIGH = F(14142136, 10**7)  # checked below: its square exceeds 2
# Bounds this program claims and Gappa must prove (not used by the library).
ROTATION_ROUNDING = 4 * U  # per component of one rotation
SCALAR_ROUNDING = 5  # u G: the scalar path's sum and products
VECTOR_ROUNDING = 2  # u G: the vector path's last two products
# |s P| <= PRODUCT_LIMIT G, the hypothesis of the vector products' bound.
PRODUCT_LIMIT = F(1001, 1000)
# Relative roundings of the angles, proven by Gappa: the scalar's argument of
# a harmonic (four) and of the vibrato (three), the vector's turns (three).
SLACK = 1 + F(1, 10**6)
SCALAR_ANGLE_ROUNDING = 4 * U * SLACK
SCALAR_VIBRATO_ROUNDING = 3 * U * SLACK
VECTOR_TURNS_ROUNDING = 3 * U * SLACK




def side_rounding(depth):
    """A bent frequency's roundings over f. The scalar's fl(fl(1 + fl(D s))
    f): D s (uD), the sum (u (1 + D)) and the product with f (u (1 + D)). The
    kernel's fl(fl(D f) w + f), fewer: D f (uD), the product unless fused
    (uD) and the sum (u (1 + D)). Gappa proves it for both paths."""
    return U * (2 + 3 * depth) * SLACK


def bend_rounding(depth):
    """How far, relative to the scalar's bent frequency fs >= (1 - D) f (1 -
    2u)^2, the two paths' roundings may move them apart."""
    return 2 * side_rounding(depth) / ((1 - depth) * (1 - 4 * U))

class Unproven(Exception):
    """A piece of the bound that no check proved."""


# The quantities a sample's value passes through between the two paths: each
# link of the chain from the first to the last is a piece some check proves.
VECTOR = "the vector path's value"
PRODUCTS = "s P~(c) Lv exactly (the kernel's pair, polynomial and level)"
POLYNOMIAL = "s P(c) Lv (P = sum_j g_j U_j exactly)"
VECTOR_ANGLE = "sin xv P(cos xv) Lv (xv the kernel's angle)"
SCALAR_ANGLES = "sum_j g_j sin(xs_j) Lv (xs_j the scalar's argument of harmonic j)"
SCALAR_LEVEL = "sum_j g_j sin(xs_j) Ls"
SCALAR = "the scalar path's value"


class Ledger:
    """The proven pieces B is composed of. Each check enters what it proves
    beside the goal that proves it: a link bounds, for a note (voice, pitch,
    rate, count), the distance between two quantities above; a value is a
    proven figure that links use. B is the sum over the chain of links from
    the vector's value to the scalar's: a piece no check enters breaks the
    chain, and a figure no check proves is missing, so neither can be left out
    of B while the proof still passes."""

    def __init__(self):
        self.links = {}
        self.values = {}

    def link(self, start, end, term):
        self.links[start] = (end, term)

    def value(self, name):
        if name not in self.values:
            raise Unproven(f"{name}: no check proves it")
        return self.values[name]

    def bound(self, *note):
        total, at, steps = F(0), VECTOR, 0
        while at != SCALAR:
            if at not in self.links or steps > len(self.links):
                raise Unproven(f"no proven piece leads on from {at}")
            at, term = self.links[at]
            total += term(*note)
            steps += 1
        return total


def gappa_number(text):
    text = text.strip().strip("()")
    if "b" in text:
        m, e = text.split("b")
        return F(int(m)) * F(2) ** int(e)
    return F(text)


class Ranges:
    """Every range a script assumes, derived from the limits the build
    compiled (dump_kernel_facts): the request's sample rates, every pitch a
    note can spell, the catalogue's vibratos and attacks, the note's length,
    the kernels' strides and the sine-cosine's claim on |r|. check_ranges
    tests that each covers what it must, and every Gappa script's
    hypotheses on the variables named in AUDITED are checked to cover their
    range, so that no script assumes less."""

    # Each variable a script may assume a range of, and the range it must
    # cover: a pair's sine or cosine (the polynomial's c, a rotation's s and
    # c, the vibrato's w), a sine of the C library (the step pair's S and C,
    # the scalar's vibrato sine sv, the scalar's harmonic sines s0, s1, ..),
    # a level, a step's fraction of a turn, a harmonic's number, the vector
    # product s P and the reduction's turns (each binade a script of its own,
    # their union audited).
    AUDITED = {"rate": "rates", "pitch": "pitches", "nu": "fixed", "f": "bent", "i": "index",
               "A": "attack", "r": "reduced", "c": "pair", "s": "pair", "w": "pair",
               "S": "unit", "C": "unit", "sv": "unit", "level": "level", "frac": "fraction",
               "j": "harmonics", "s * p": "product", "turns": "binades"}

    def __init__(self, facts):
        self.rates = (F(facts["min_rate"]), F(facts["max_rate"]))
        self.pitches = (facts["lowest_pitch"], facts["highest_pitch"])
        vibratos = [v["rate"] for v in facts["voices"] if v["vibrato"]]
        # What a rotation step turns by: a pitch, or a vibrato's own rate.
        self.fixed = (min([self.pitches[0]] + vibratos), max([self.pitches[1]] + vibratos))
        # What multiplies a sample's time: those, bent by the deepest vibrato
        # (its sine off by up to the rotated pair's error); the margin covers
        # the bend's roundings.
        bend = facts["max_vibrato_depth"] * (1 + facts["rotated_pair_error"])
        margin = F(1, 2**40)
        self.bent = (self.fixed[0] * (1 - bend) * (1 - margin),
                     self.fixed[1] * (1 + bend) * (1 + margin))
        # The positive turns a kernel reduces: from the first sample at the
        # highest rate to the last of a note.
        self.turns = (self.bent[0] / self.rates[1],
                      self.bent[1] * facts["note_duration"] * (1 + margin))
        last = facts["max_rate"] * facts["note_duration"] + facts["max_stride"]
        self.index = (F(1), F(2) ** math.ceil(math.log2(last)))
        attacks = [v["attack"] for v in facts["voices"] if v["attack"] > 0]
        self.attack = (F(2) ** math.floor(math.log2(min(attacks))),
                       F(2) ** math.ceil(math.log2(max(attacks))))
        self.reduced = (-facts["reduced_turns"], facts["reduced_turns"])
        # A pair's components: within the larger of the evaluated pair's and
        # the rotated pair's errors of a sine or cosine.
        edge = 1 + max(facts["sine_error"], facts["cosine_error"], facts["rotated_pair_error"])
        self.pair = (-edge, edge)
        self.unit = (F(-1), F(1))  # the C library's sine and cosine
        self.level = (F(0), F(1))  # the envelope: sustains in [0, 1], checked
        self.fraction = (F(-1, 2), F(1, 2))  # turns less the nearest whole number
        self.harmonics = (F(1), F(max(len(v["harmonics"]) for v in facts["voices"])))
        # |s P| <= G sum_j a_j / H plus the pair's and Horner's errors.
        most = max(product_bound(facts, voice) for voice in facts["voices"])
        self.product = (-most, most)
        self.binades = self.turns
        self.pieces = []  # the reduction's binades, as its scripts assume them

    def audit(self, tools, name, script, derived=None):
        """Fails unless every hypothesis of the script's goal covers the range
        derived for what it assumes (a single point outside it, such as the
        index 0, is a case of its own): a variable of AUDITED, a harmonic's
        sine s0, s1, .., or an expression whose range the check derived
        (`derived`). A hypothesis on anything else is refused."""
        hypotheses = script.split("->", 1)[0].rsplit("{", 1)[-1]
        for conjunct in (c.strip() for c in hypotheses.split("/\\")):
            interval = re.fullmatch(r"(.+?) in \[([^,\]]+), ([^\]]+)\]", conjunct)
            magnitude = re.fullmatch(r"\|(.+)\| <= (\S+)", conjunct)
            if interval:
                what, a, b = (interval.group(1), gappa_number(interval.group(2)),
                              gappa_number(interval.group(3)))
            elif magnitude:
                what, b = magnitude.group(1), gappa_number(magnitude.group(2))
                a = -b
            else:
                tools.fail(f"{name}: the hypothesis {conjunct} has no form the audit reads")
                continue
            kind = self.AUDITED.get(what) or ("unit" if re.fullmatch(r"s[0-9]+", what) else None)
            if derived and what in derived:
                low, high = derived[what]
            elif kind == "binades":
                if a != b:
                    self.pieces.append((a, b))
                continue
            elif kind:
                low, high = getattr(self, kind)
            else:
                tools.fail(f"{name}: the hypothesis on {what} is audited against no range")
                continue
            if not (a <= low and high <= b) and (a != b or low <= a <= high):
                tools.fail(f"{name}: {what} in [{float(a)!r}, {float(b)!r}] does not "
                           f"cover the {kind or 'derived range'}, "
                           f"[{float(low)!r}, {float(high)!r}]")

    def audit_pieces(self, tools, name):
        """Fails unless the binades the scripts assumed cover the turns."""
        reach, low, high = None, *self.turns
        for a, b in sorted(self.pieces):
            if reach is None:
                if a > low:
                    break
                reach = b
            elif a <= reach:
                reach = max(reach, b)
        if reach is None or reach < high:
            tools.fail(f"{name}: the binades reach {float(reach or 0):.6g} turns, short of the "
                       f"{float(high):.6g} a kernel reduces (from {float(low):.6g})")


def check_ranges(tools, facts, ranges):
    """Each range covers what the limits allow: the request's rates, every
    spelling's pitch, the catalogue's vibrato rates and attacks, and the
    frequencies and turns the kernel model computes at the extremes (the
    first and last samples at the lowest and highest rates, the bend at its
    deepest either way); NoteErrorBound's grid reaches both rate limits and
    both pitch limits for every voice."""
    def covers(kind, witnesses):
        low, high = getattr(ranges, kind)
        outside = [w for w in witnesses if not low <= F(w) <= high]
        if outside:
            tools.fail(f"the {kind} range [{float(low):.6g}, {float(high):.6g}] misses "
                       f"{float(outside[0]):.6g}")

    vibratos = [v for v in facts["voices"] if v["vibrato"]]
    pitches = [facts["lowest_pitch"], facts["highest_pitch"]]
    covers("rates", [facts["min_rate"], facts["max_rate"]])
    covers("pitches", pitches)
    covers("fixed", pitches + [v["rate"] for v in vibratos])
    covers("attack", [v["attack"] for v in facts["voices"] if v["attack"] > 0])
    covers("index", [1, facts["max_rate"] * facts["note_duration"] + facts["max_stride"] - 1])
    ar = model.Doubles(False)
    edge = float(1 + max(facts["sine_error"], facts["cosine_error"], facts["rotated_pair_error"]))
    bent, turns = [], []
    for rate in (facts["min_rate"], facts["max_rate"]):
        inverse = model.inverse_rate(ar, float(rate))
        for index in (1.0, float(int(rate * facts["note_duration"]) - 1)):
            t = model.sample_time(ar, index, inverse)
            turns += [model.fundamental_turns(ar, t, float(f))
                      for f in pitches + [v["rate"] for v in vibratos]]
            for voice in vibratos:
                for f in pitches:
                    swing = model.vibrato_swing(ar, float(voice["depth"]), float(f))
                    for w in (-edge, edge):
                        bent.append(model.bent_frequency(ar, w, swing, float(f)))
                        turns.append(model.bent_turns(ar, w, swing, float(f), t))
    covers("bent", bent + pitches)
    covers("turns", turns)
    grid = {}
    for kind, pitch, rate, _, _ in facts["bounds"]:
        grid.setdefault(kind, set()).add((pitch, rate))
    for kind, voice in enumerate(facts["voices"]):
        notes = grid.get(kind, set())
        for pitch in pitches:
            for rate in (facts["min_rate"], facts["max_rate"]):
                if (pitch, rate) not in notes:
                    tools.fail(f"NoteErrorBound's grid leaves out the {voice['name']} at "
                               f"{float(pitch):.6g} Hz and {rate} Hz")
                    return


# Each perturbation: the fact, the factor it is scaled by, and the checks
# that must then refute it (only those run their tools; every check still
# enters its pieces in the ledger and has its scripts audited).
PERTURBATIONS = {
    "sine-error": ("sine_error", 0.97, ["sincos"]),
    "cosine-error": ("cosine_error", 0.97, ["sincos"]),
    "rotated-pair-error": ("rotated_pair_error", 0.97, ["rotation"]),
    "polynomial-error": ("polynomial_error", 0.8, ["polynomials"]),
    "sum-error": ("sum_error", 0.9, ["sums"]),
    "reduced-turns": ("reduced_turns", 0.5, ["reduction"]),
    # A shift whose sums reach 2^53, where they no longer round to whole numbers.
    "rounding-shift": ("rounding_shift", F(2**53 - 4, 3 * 2**51), ["reduction"]),
    "envelope-error": ("envelope_error", 0.3, ["envelope"]),
    "envelope-time-error": ("envelope_time_error", 0.97, ["envelope"]),
    "chebyshev-slack": ("chebyshev_slack", 0.0, ["chebyshev"]),
    # The last decimal digits of a leading coefficient, its bound kept.
    "sine-coefficient": ("sine", None, ["fit", "sincos"]),
    "cosine-coefficient": ("cosine", None, ["fit", "sincos"]),
    # A kernel rotating 31 times between anchors, the constant kept at 15:
    # the fixed fundamental's pair, or the vibrato's own.
    "kernel-rotations": ("rotations", 31, ["rotation"]),
    "vibrato-rotations": ("vibrato_rotations", 31, []),
    # The reduction's top binade left out: the turns of the highest notes.
    "reduction-top-binade": ("drop_binades", 1, []),
    # The sine-cosine's approximation errors estimated, not certified.
    "sollya-dirtyinfnorm": ("sollya", (r"supnorm\((.*), (sin\(2 \* pi \* x\)|cos\(2 \* pi \* x\)), "
                                      r"(\[[^\]]+\]), absolute, [^)]+\)",
                                      r"dirtyinfnorm(\1 - \2, \3)"), ["sincos"]),
    # Horner's rule in cos x over |c| <= 1 + COSINE_ERROR, short of the
    # rotated pair's reach.
    "polynomial-edge": ("script", lambda facts: (
        f"|c| <= {dyadic(1 + facts['rotated_pair_error'], True)}",
        f"|c| <= {dyadic(1 + facts['cosine_error'], True)}"), []),
    # NoteErrorBound half a per cent high: a term of the checker weaker.
    "checker-bound-low": ("bounds", F(1005, 1000), []),
    # NoteErrorBound half a per cent low.
    "note-error-bound": ("bounds", F(995, 1000), ["bounds"]),
    # A range narrowed where it is derived: the check that it covers the
    # limits must fail (no tool runs).
    "narrow-rates": ("ranges", lambda r, facts: setattr(r, "rates", (F(44100), F(44100))), []),
    "narrow-pitches": ("ranges", lambda r, facts: setattr(r, "pitches", (r.pitches[0], F(1000))),
                       []),
    "narrow-frequencies": ("ranges", lambda r, facts: setattr(r, "fixed", r.pitches), []),
    "narrow-bent": ("ranges", lambda r, facts: setattr(r, "bent", r.fixed), []),
    # Turns from the slowest pitch's first sample, not the vibrato's.
    "narrow-turns": ("ranges", lambda r, facts: setattr(
        r, "turns", (facts["lowest_pitch"] / facts["max_rate"], r.turns[1])), []),
    "narrow-index": ("ranges", lambda r, facts: setattr(r, "index", (F(1), F(2**15))), []),
    "narrow-attack": ("ranges", lambda r, facts: setattr(r, "attack", (r.attack[1] / 2,
                                                                         r.attack[1])), []),
    # NoteErrorBound's grid without 96000 Hz and above.
    "narrow-grid": ("grid", 96000, []),
    # A script that assumes less than its range: the angles at 44100 Hz only.
    "narrow-script": ("script", ("rate in [{min_rate}, {max_rate}]", "rate in [44100, 44100]"),
                      ["angles"]),
}


# Where the constants the proof checks are written.
CONSTANTS_FILE = "synthesis/fast/error_bounds.h"


class Tools:
    """Gappa and Sollya. Any version is used: their verdicts are trusted
    because the refutation tests (proof_refutes_*) still see them refute,
    and the versions that ran are printed."""

    def __init__(self, folder, figures):
        self.folder = folder
        self.figures = figures
        self.ranges = None  # the ranges the scripts' hypotheses must cover
        self.fail_fast = False
        self.active = True  # False: a check's scripts are written and audited, not run
        self.proven = set()  # scripts already proven: the same script is not run twice
        self.narrow = None  # a perturbation's change to the scripts
        self.narrow_sollya = None  # and to the Sollya scripts
        self.failures = []
        for tool, flag in (("gappa", "--version"), ("sollya", "--version")):
            if shutil.which(tool) is None:
                print(f"check_error_bound: {tool} not found (Debian package {tool})")
                sys.exit(2)
            version = subprocess.run([tool, flag], capture_output=True, text=True,
                                     check=False).stdout.strip().split("\n")[0]
            print(f"{tool}: {version}")

    def fail(self, message):
        print("NOT PROVEN:", message)
        self.failures.append(message)

    def run_gappa(self, name, script, split):
        path = os.path.join(self.folder, name + ".g")
        with open(path, "w", encoding="ascii") as out:
            out.write(script)
        options = ["-Edichotomy=12"] if split else ["-Eno-auto-dichotomy"]
        return subprocess.run(["gappa", "-Echange-threshold=0"] + options + [path],
                              capture_output=True, text=True, check=False)

    def gappa(self, name, script, split=False, quiet=False, constant=None, derived=None):
        """True when Gappa proves every goal of the script (its exit status);
        with split, Gappa may cut the input's interval in pieces (slow when a
        goal is false). A script Gappa refuses even with its first bound
        asked for (`in ?`) is malformed, never a refutation. A failure names
        `constant`, the one of error_bounds.h the goal's bound comes from."""
        if self.narrow:
            script = self.narrow(script)
        self.ranges.audit(self, name, script, derived)
        if self.failures and self.fail_fast:
            return False
        if not self.active or script in self.proven:
            return True
        run = self.run_gappa(name, script, split)
        if run.returncode != 0:
            if self.run_gappa(name + "_asked", asked(script), False).returncode != 0:
                print(f"check_error_bound: Gappa cannot evaluate {name}:\n{run.stderr}")
                sys.exit(2)
            to_raise = f" (raise {constant} in {CONSTANTS_FILE})" if constant else ""
            self.fail(f"Gappa: {name}{to_raise}\n{run.stderr.strip()}")
            return False
        found = self.figure(name, script, split) if self.figures and not quiet else None
        if found is not None:
            print(f"figure: {name}: {float(found / U):.4f} u ({float(found):.4g})")
        if not quiet:
            print(f"proven by Gappa: {name}")
        self.proven.add(script)
        return True

    def figure(self, name, script, split):
        """The least bound on the script's first bounded goal that Gappa proves with
        the goal's own options, to 1/16384 of the goal's (bisection)."""
        found = re.search(r"<= ([0-9]+)b(-?[0-9]+)", script.split("->", 1)[1])
        if found is None:
            return None  # an exact goal: no figure
        proven = int(found.group(1)) * F(2) ** int(found.group(2))
        low = F(0)
        for _ in range(14):
            middle = (low + proven) / 2
            trial = script.replace(found.group(0), f"<= {dyadic(middle, False)}", 1)
            if self.run_gappa(name + "_figure", trial, split).returncode == 0:
                proven = middle
            else:
                low = middle
        return proven

    def sollya(self, name, script, lines):
        """Sollya's printed lines for a script that prints `lines` of them;
        warnings (syntax errors among them) go to stderr and fail it. None
        when this check's tools do not run."""
        if self.narrow_sollya:
            script = self.narrow_sollya(script)
        # Only certified commands: an approximation error from supnorm, a
        # maximum from infnorm (interval arithmetic); the dirty ones estimate.
        dirty = re.findall(r"\bdirty\w+", script)
        if dirty:
            self.fail(f"{name}: Sollya's {dirty[0]} certifies nothing")
        if name == "supnorm":
            errors = re.findall(r"^(\w+) = (\w+)\(", script, re.M)
            if len(errors) != 2 or any(command != "supnorm" for _, command in errors):
                self.fail(f"{name}: the approximation errors must each come from supnorm, "
                          f"not {', '.join(c for _, c in errors) or 'nothing'}")
        if self.failures and self.fail_fast:
            return None
        for low, high in re.findall(r"supnorm\(.*, \[([^;\]]+); ([^\]]+)\]", script):
            low, high = (F(x.replace(" ", "").strip("()")) for x in (low, high))
            if not (low <= self.ranges.reduced[0] and self.ranges.reduced[1] <= high):
                self.fail(f"{name}: a supnorm over [{float(low)}, {float(high)}], not the "
                          f"reduction's [{float(self.ranges.reduced[0])}, "
                          f"{float(self.ranges.reduced[1])}]")
        for low, high in re.findall(r"\binfnorm\(.*?, \[([^;\]]+); ([^\]]+)\]", script):
            low, high = (F(x.replace(" ", "").strip("()")) for x in (low, high))
            if not (low <= self.ranges.pair[0] and self.ranges.pair[1] <= high):
                self.fail(f"{name}: an infnorm over [{float(low)}, {float(high)}], not the "
                          f"pair's [{float(self.ranges.pair[0])}, {float(self.ranges.pair[1])}]")
        if not self.active:
            return None
        path = os.path.join(self.folder, name + ".sollya")
        with open(path, "w", encoding="ascii") as out:
            out.write(script)
        run = subprocess.run(["sollya", "--warnonstderr", path], capture_output=True, text=True,
                             check=False)
        out = run.stdout.split()
        if run.returncode != 0 or run.stderr.strip() or len(out) != lines:
            print(f"check_error_bound: Sollya failed on {path}:\n{run.stdout}{run.stderr}")
            sys.exit(2)
        return out


def asked(script):
    """The script with every conclusion of its goal turned into a question:
    Gappa answers it whenever the script is well formed."""
    before, after = script.split("->", 1)
    goal, rest = after.split("}", 1)
    questions = []
    for conclusion in goal.split("/\\"):
        expression = re.split(r" in | <= ", conclusion.strip())[0].strip()
        if expression.startswith("|") and expression.endswith("|"):
            expression = expression[1:-1]
        questions.append(f"{expression} in ?")
    return before + "-> " + " /\\ ".join(questions) + " }" + rest


def exact(hex_text):
    return F(float.fromhex(hex_text))


def dyadic(q, up):
    """q as Gappa's exact m b e, rounded to 80 bits up or down."""
    if q == 0:
        return "0"
    e = 80 - max(q.numerator.bit_length() - q.denominator.bit_length(), -1000)
    scaled = q * F(2) ** e
    m = -((-scaled.numerator) // scaled.denominator) if up else scaled.numerator // scaled.denominator
    return f"{m}b{-e}"


def sollya_number(q):
    return f"({q.numerator} / {q.denominator})"


def parse_dyadic(text):
    """Sollya's dyadic display m b e (or a plain integer) as a fraction."""
    text = text.strip()
    if "b" in text:
        m, e = text.split("b")
        return F(int(m)) * F(2) ** int(e)
    return F(int(text))


def sqrt_up(q):
    """An upper bound on sqrt(q), within 2^-60 relative."""
    scale = 2**130
    n = q.numerator * scale * scale // q.denominator + 1
    return F(math.isqrt(n) + 1, scale)


def arithmetic(fused):
    """The kernel model's Gappa arithmetic: doubles written exactly."""
    return model.GappaText(fused, lambda x: dyadic(F(x), True))


def gappa_script(definitions, goal, hints=()):
    return "\n".join(["@rnd = float<ieee_64, ne>;"] + list(definitions) + [goal] + list(hints)) + "\n"


def check_fit(tools, facts, fit_script):
    with open(fit_script, encoding="ascii") as script:
        out = tools.sollya("fit", script.read(), len(facts["sine"]) + len(facts["cosine"]))
    if out is None:
        return
    fitted = [F(float.fromhex(x)) for x in out]
    if fitted != facts["sine"] + facts["cosine"]:
        tools.fail("the sine-cosine coefficients are not those fit_sincos.sollya fits")
    else:
        print("the sine-cosine coefficients are those fit_sincos.sollya fits")


def supnorms(tools, facts, ranges):
    """Certified bounds on the series' approximation errors over the range
    of r the reduction is proven to produce."""
    def poly(coefficients, odd):
        return " + ".join(f"{sollya_number(c)} * x^{2 * k + odd}"
                          for k, c in enumerate(coefficients))
    interval = f"[{sollya_number(ranges.reduced[0])}; {sollya_number(ranges.reduced[1])}]"
    out = tools.sollya("supnorm", f"""prec = 300!;
verbosity = 1!;
display = dyadic!;
s = supnorm({poly(facts['sine'], 1)}, sin(2 * pi * x), {interval}, absolute, 2^-40);
c = supnorm({poly(facts['cosine'], 0)}, cos(2 * pi * x), {interval}, absolute, 2^-40);
print(sup(s));
print(sup(c));
quit;
""", 2)
    if out is None:
        return None
    sine, cosine = (parse_dyadic(x) for x in out)
    print(f"Sollya: series errors below {float(sine / U):.4f} u (sine), "
          f"{float(cosine / U):.4f} u (cosine)")
    return sine, cosine


def check_sincos(tools, facts, ledger, ranges):
    ledger.values["evaluated pair"] = (facts["sine_error"], facts["cosine_error"])
    found = supnorms(tools, facts, ranges)
    if found is None:
        return
    approximation = dict(zip(("sine", "cosine"), found))
    for name, odd, key in (("sine", 1, "sine_error"), ("cosine", 0, "cosine_error")):
        room = facts[key] - approximation[name]
        if room <= 0:
            tools.fail(f"{key}: below the series' own error")
            continue
        for fused in (False, True):
            ar = arithmetic(fused)
            pair = model.series(ar, ar.input("r"), facts["sine"], facts["cosine"])
            y = pair[0] if name == "sine" else pair[1]
            lines = ar.lines
            goal = (f"{{ |r| <= {dyadic(ranges.reduced[1], True)} -> "
                    f"|{y[0]} - {y[1]}| <= {dyadic(room, False)} }}")
            tools.gappa(f"{name}_{'fused' if fused else 'unfused'}", gappa_script(lines, goal))


def check_reduction(tools, facts, ranges):
    """The sine-cosine's reduction r = turns - q / 4 (q the nearest whole
    number to 4 turns, by adding and subtracting ROUNDING_SHIFT): exact, |r|
    <= 1/8 and q mod 4 in the shifted sum's low bits, for every turns a
    kernel computes: 0, or between the lowest (a sample period times the
    slowest pitch or vibrato) and the highest (the highest pitch bent by the
    deepest vibrato, over a note), each binade in a Gappa run. (Lanes past
    a note's last sample are computed and dropped, never stored.)"""
    shift = facts["rounding_shift"]
    if not (shift.denominator == 1 and 2**52 <= shift < 2**53 and (shift - 2**52) % 4 == 0):
        tools.fail("ROUNDING_SHIFT: its sums' low bits do not hold q mod 4")
    lowest, highest = ranges.turns
    low = math.floor(math.log2(lowest))
    high = math.ceil(math.log2(highest))
    shift_text = f"({dyadic(shift, True)})"
    # What the kernel's steps must give exactly: q / 4 subtracted from turns.
    ideal = [f"Ishifted = turns * 4 + {shift_text};", f"Id = {shift_text} - shifted;",
             "Ir = d * 1b-2 + turns;"]
    hint = "Ir -> (Ishifted - shifted) * 1b-2 + (d - Id) * 1b-2;"
    top = high - facts["drop_binades"]  # a perturbation may leave binades out
    binades = [("0", "0")] + [(f"1b{k}", f"1b{k + 1}") for k in range(low, top)]
    ranges.pieces = []
    for fused in (False, True):
        ar = arithmetic(fused)
        model.reduce_turns(ar, ar.input("turns"), shift)
        for first, last in binades:
            goal = (f"{{ turns in [{first}, {last}] -> shifted in [1b52, {2**53 - 1}] /\\ "
                    f"d - Id in [0, 0] /\\ r - Ir in [0, 0] /\\ "
                    f"|Ir| <= {dyadic(ranges.reduced[1], False)} }}")
            name = f"reduction_{'fused' if fused else 'unfused'}_{first}"
            if not tools.gappa(name, gappa_script(ar.lines + ideal, goal, [hint]), quiet=True):
                return
    ranges.audit_pieces(tools, "reduction")
    reach = [b for _, b in ranges.pieces]
    if tools.active and reach:
        print(f"proven by Gappa: the reduction, exact for turns 0 and in "
              f"[{float(min(a for a, _ in ranges.pieces)):.6g}, {float(max(reach)):.6g}] (the "
              f"kernels reduce up to {float(ranges.turns[1]):.6g}), fused and unfused "
              f"({2 * len(binades)} runs)")


def check_step(tools, facts, ledger, ranges):
    """Beta's terms: the step's turns (the model's StepAngle, which the
    kernel comparison ties to the code), its angle, the double 2 pi."""
    two_pi = facts["two_pi"]
    if not (SQRT2_HIGH**2 > 2 and 2 * PI_LOW > two_pi
            and 2 * PI_HIGH - two_pi <= facts["two_pi_shortfall"]):
        tools.fail("TWO_PI_SHORTFALL: 2 pi - TWO_PI exceeds it")
    most = facts["max_stride"]
    strides = sorted({k["stride"] for k in facts["kernels"]})
    for stride in strides:
        if stride > most:
            tools.fail(f"stride {stride}: beyond MAX_STRIDE, which beta assumes")
        relative = U if power_of_two(stride) else 2 * U + U * U
        # Beta allows 1.0001 u of MAX_STRIDE samples' turns, times 2pi_d.
        if not relative * stride * 2 * PI_HIGH <= F("1.0001") * U * most * two_pi:
            tools.fail(f"stride {stride}: its step's turns may exceed beta's allowance")
        ar = arithmetic(False)
        turns = model.step_turns(ar, ar.input("nu"), ar.const(stride), ar.input("rate"))
        goal = (f"{{ nu in [{dyadic(ranges.fixed[0], False)}, {dyadic(ranges.fixed[1], True)}]"
                f" /\\ rate in [{ranges.rates[0]}, {ranges.rates[1]}] -> "
                f"|({turns[0]} - {turns[1]}) / {turns[1]}| <= {dyadic(relative, True)} }}")
        tools.gappa(f"step_turns_{stride}", gappa_script(ar.lines, goal))
    ar = arithmetic(False)
    angle = model.step_angle(ar, ar.input("frac"), ar.const(two_pi))
    tools.gappa("step_angle", gappa_script(
        ar.lines, f"{{ |frac| <= 1b-1 -> |{angle[0]} - {angle[1]}| <= 1b-52 }}"))
    short = facts["two_pi_shortfall"]
    ledger.values["2 pi's shortfall"] = short

    def beta(nu, rate):
        # The step's turns (one rounding, or none for a power of two, and the
        # division), its angle's rounding and 2pi_d's shortfall over half a turn.
        turns = max((U if power_of_two(s) else 2 * U + U * U) * nu * s / rate for s in strides)
        return 2 * PI_HIGH * turns + short / 2 + 2 * U
    ledger.values["beta"] = beta


# ROTATED_PAIR_ERROR is written rounded up from the figure the rotations
# give: a figure this far below it means the checker counted fewer.
ROTATED_PAIR_TIGHTNESS = F(1, 400)


def check_rotation(tools, facts, ledger):
    ledger.values["rotated pair"] = facts["rotated_pair_error"]
    ledger.values["rotations"] = facts["rotations"]
    ledger.values["vibrato rotations"] = facts["vibrato_rotations"]
    bound = 1 + facts["rotated_pair_error"]
    for fused in (False, True):
        ar = arithmetic(fused)
        sine, cosine = model.rotate(ar, ar.input("s"), ar.input("c"), ar.input("S"),
                                    ar.input("C"))
        lines = ar.lines
        limit = dyadic(bound, True)
        goal = (f"{{ |s| <= {limit} /\\ |c| <= {limit} /\\ |S| <= 1 /\\ |C| <= 1 -> "
                f"|{sine[0]} - {sine[1]}| <= {dyadic(ROTATION_ROUNDING, True)} /\\ "
                f"|{cosine[0]} - {cosine[1]}| <= {dyadic(ROTATION_ROUNDING, True)} }}")
        tools.gappa(f"rotation_{'fused' if fused else 'unfused'}", gappa_script(lines, goal))
    for kernel in facts["kernels"]:
        for key, pair in (("rotations", "the fundamental's"), ("vibrato_rotations",
                                                              "the vibrato's")):
            if kernel[key] > facts["rotations_per_anchor"]:
                tools.fail(f"the {kernel['name']} kernel rotates {pair} pair {kernel[key]} times "
                           f"between anchors; NoteErrorBound assumes "
                           f"{facts['rotations_per_anchor']}")
        if kernel["stride"] != kernel["lanes"] * kernel["group"]:
            tools.fail(f"the {kernel['name']} kernel's stride is not its lanes x group")
    # The longest run between fresh evaluations of either pair, as the
    # kernels were measured to make it.
    steps = max(facts["rotations"], facts["vibrato_rotations"])
    error = sqrt_up(facts["sine_error"] ** 2 + facts["cosine_error"] ** 2)
    for _ in range(steps):
        error = error * (1 + SQRT2_HIGH * U) + SQRT2_HIGH * U + SQRT2_HIGH * ROTATION_ROUNDING
    print(f"rotated pair: within {float(error / U):.2f} u after {steps} rotations "
          f"(ROTATED_PAIR_ERROR {float(facts['rotated_pair_error'] / U):.2f} u)")
    if error > facts["rotated_pair_error"]:
        tools.fail(f"ROTATED_PAIR_ERROR: the pair may be {float(error / U):.2f} u off")
    elif error * (1 + ROTATED_PAIR_TIGHTNESS) < facts["rotated_pair_error"]:
        tools.fail(f"ROTATED_PAIR_ERROR exceeds the {float(error / U):.2f} u the rotations give "
                   f"by more than {float(ROTATED_PAIR_TIGHTNESS):.2%}: the proof counts fewer "
                   f"rotations than the kernels make, or the constant was not lowered with it")


def chebyshev(n):
    """Coefficients of U_0 .. U_(n-1), lowest power first."""
    rows = [[1], [0, 2]]
    while len(rows) < n:
        a, b = rows[-1], rows[-2]
        rows.append([(2 * a[k - 1] if k > 0 else 0) - (b[k] if k < len(b) else 0)
                     for k in range(len(a) + 1)])
    return rows[:n]


def evaluate(coefficients, x):
    value = F(0)
    for c in reversed(coefficients):
        value = value * x + c
    return value


def derivative(coefficients):
    return [k * c for k, c in enumerate(coefficients)][1:] or [0]


def sums_of(facts, voice):
    """M0 = sum_j g_j (j + 1), M1 = sum_j g_j j (j + 1) (j + 2) / 3 and sum_j
    g_j sum_k |U_j[k]|, with g_j = a_j G / H."""
    if "sums" not in voice:
        voice["sums"] = voice_sums(facts, voice)
    return voice["sums"]


def voice_sums(facts, voice):
    gain = facts["output_gain"] * facts["full_scale"]
    g = [a * gain / len(voice["harmonics"]) for a in voice["harmonics"]]
    rows = chebyshev(facts["max_harmonics"])
    return (sum(gj * (j + 1) for j, gj in enumerate(g)),
            sum(gj * F(j * (j + 1) * (j + 2), 3) for j, gj in enumerate(g)),
            sum(gj * sum(abs(x) for x in rows[j]) for j, gj in enumerate(g)))


def check_chebyshev(tools, facts, ledger):
    edge = 1 + facts["rotated_pair_error"]
    slack = 1 + facts["chebyshev_slack"]
    rows = chebyshev(facts["max_harmonics"])

    def pair(voice, frequency, rate, count):
        # |s P(c) - sin x P(cos x)| <= e_s max |P| + e_c max |P'| over |c| <=
        # c0, with the pair evaluated afresh (vibrato: either order, as the
        # quarter turn swaps them) or rotated; the level is at most 1.
        weighted, slope, _ = sums_of(facts, voice)
        if voice["vibrato"]:
            es, ec = ledger.value("evaluated pair")
            most = max(es * weighted + ec * slope, ec * weighted + es * slope)
        else:
            most = ledger.value("rotated pair") * (weighted + slope)
        return most * slack
    ledger.link(POLYNOMIAL, VECTOR_ANGLE, pair)
    # Message 407 warns that a derivative may have poles; a polynomial's has none.
    script = ["prec = 200!;", "verbosity = 1!;", "display = dyadic!;", "suppressmessage(407);"]
    for j, row in enumerate(rows):
        # No x^0, x^1 or zero terms: their derivatives make Sollya warn.
        powers = ["", " * x"] + [f" * x^{k}" for k in range(2, len(row))]
        polynomial = " + ".join(f"({c}){powers[k]}" for k, c in enumerate(row) if c != 0)
        script += [f"print(sup(infnorm({polynomial}, [{sollya_number(-edge)}; "
                   f"{sollya_number(edge)}])));",
                   f"print(sup(infnorm(diff({polynomial}), [{sollya_number(-edge)}; "
                   f"{sollya_number(edge)}])));"]
    out = tools.sollya("chebyshev", "\n".join(script + ["quit;", ""]), 2 * len(rows))
    for j, row in enumerate(rows if out is not None else []):
        at_one, slope_at_one = F(j + 1), F(j * (j + 1) * (j + 2), 3)
        at_edge, slope_at_edge = evaluate(row, edge), evaluate(derivative(row), edge)
        if not (at_edge <= slack * at_one and slope_at_edge <= slack * slope_at_one
                and evaluate(row, 1) == at_one and evaluate(derivative(row), 1) == slope_at_one):
            tools.fail(f"CHEBYSHEV_SLACK: U_{j} at 1 + ROTATED_PAIR_ERROR")
        if not (parse_dyadic(out[2 * j]) <= slack * at_one
                and parse_dyadic(out[2 * j + 1]) <= slack * slope_at_one):
            tools.fail(f"CHEBYSHEV_SLACK: Sollya's infnorm of U_{j} or its derivative")
    print("Chebyshev: U_j and U_j' within the slack over |c| <= 1 + ROTATED_PAIR_ERROR")


def check_polynomials(tools, facts, ledger):
    edge = 1 + facts["rotated_pair_error"]
    claims = {}
    gain = facts["output_gain"] * facts["full_scale"]
    rows = chebyshev(facts["max_harmonics"])
    worst = F(0)
    for voice in facts["voices"]:
        h = len(voice["harmonics"])
        g = [a * gain / h for a in voice["harmonics"]]
        ideal = [sum(g[j] * rows[j][k] for j in range(h) if k < len(rows[j])) for k in range(h)]
        folding = sum(abs(p - q) * edge**k for k, (p, q) in enumerate(zip(voice["polynomial"], ideal)))
        magnitude = sum(g[j] * sum(abs(x) for x in rows[j]) for j in range(h))
        claims[voice["name"]] = claim = facts["polynomial_error"] * U * magnitude
        room = claim - folding
        if room <= 0:
            tools.fail(f"POLYNOMIAL_ERROR: the {voice['name']}'s folded coefficients alone "
                       f"(raise POLYNOMIAL_ERROR in {CONSTANTS_FILE})")
            continue
        for fused in (False, True):
            ar = arithmetic(fused)
            y = model.mix(ar, voice["polynomial"], ar.input("c"))
            lines = ar.lines
            goal = (f"{{ |c| <= {dyadic(edge, True)} -> "
                    f"|{y[0]} - {y[1]}| <= {dyadic(room, False)} }}")
            tools.gappa(f"polynomial_{voice['name']}_{'fused' if fused else 'unfused'}",
                        gappa_script(lines, goal), split=True, constant="POLYNOMIAL_ERROR")
        worst = max(worst, folding / (U * magnitude))
        if tools.figures:
            print(f"figure: {voice['name']}: folding {float(folding):.4g}, "
                  f"magnitude x u {float(magnitude * U):.4g}")
    print(f"polynomials: folding at most {float(worst):.3f} u x magnitude")
    # |s (P~(c) - P(c)) Lv| with |s| <= c0 and the level at most 1.
    ledger.link(PRODUCTS, POLYNOMIAL, lambda voice, *_: edge * claims[voice["name"]])


def fusings(facts):
    """Fused, unfused or both: as the kernels this build contains round their
    multiply-adds."""
    return sorted({bool(k["fused"]) for k in facts["kernels"]})


def check_sums(tools, facts, ledger):
    gain = facts["output_gain"] * facts["full_scale"]
    if SCALAR_ROUNDING + 1 + VECTOR_ROUNDING > facts["sum_error"]:
        tools.fail("SUM_ERROR: below the sums' and products' roundings")
    for voice in facts["voices"]:
        amplitudes = voice["harmonics"]
        h = len(amplitudes)
        if sum(amplitudes) > h:
            tools.fail(f"SUM_ERROR: the {voice['name']}'s amplitudes add up beyond {h}")
        ar = arithmetic(False)
        level = ar.input("level")
        sines = [ar.input(f"s{j}") for j in range(h)]
        total = model.scalar_sum(ar, [ar.const(a) for a in amplitudes], sines)
        value = model.scalar_value(ar, level, total, ar.const(h), ar.const(facts["output_gain"]),
                                   ar.const(facts["full_scale"]))
        hypotheses = " /\\ ".join(["level in [0, 1]"] + [f"|s{j}| <= 1" for j in range(h)])
        goal = (f"{{ {hypotheses} -> |{value[0]} - {value[1]}| <= "
                f"{dyadic(SCALAR_ROUNDING * U * gain, False)} }}")
        # The mean's error is the sum's over H plus its own rounding (Gappa 1.6
        # does not find this by itself).
        hint = f"mix - Mmix -> (mix - {total[0]} / {h}) + ({total[0]} - {total[1]}) / {h};"
        tools.gappa(f"scalar_sum_{voice['name']}", gappa_script(ar.lines, goal, [hint]),
                    constant="SUM_ERROR")
    for fused in fusings(facts):
        ar = arithmetic(fused)
        value = model.sample_value(ar, ar.input("s"), ar.input("p"), ar.input("level"))
        goal = (f"{{ level in [0, 1] /\\ |s * p| <= {dyadic(PRODUCT_LIMIT * gain, True)} -> "
                f"|{value[0]} - {value[1]}| <= {dyadic(VECTOR_ROUNDING * U * gain, False)} }}")
        tools.gappa(f"vector_products_{'fused' if fused else 'unfused'}",
                    gappa_script(ar.lines, goal))
    ledger.link(VECTOR, PRODUCTS, lambda *_: VECTOR_ROUNDING * U * gain)
    # The scalar's roundings, and its sines' own (1 ulp each, sum_j a_j <= H).
    ledger.link(SCALAR_LEVEL, SCALAR, lambda *_: (SCALAR_ROUNDING + 1) * U * gain)


def index_rate(ranges):
    return (f"i in [{dyadic(ranges.index[0], False)}, {dyadic(ranges.index[1], True)}] /\\ "
            f"rate in [{ranges.rates[0]}, {ranges.rates[1]}]")


def check_attack(tools, facts, ledger, ranges):
    """The attack's levels: the scalar's fl(fl(i / rate) / A) and the
    vector's fl(fl(i x fl(1 / rate)) x fl(1 / A)) against i / (rate A)."""
    slack = F(1, 10**6)
    for fused in fusings(facts):
        ar = arithmetic(fused)
        i, rate, attack = ar.input("i"), ar.input("rate"), ar.input("A")
        time = model.sample_time(ar, i, model.inverse_rate(ar, rate))
        vector = model.attack_level(ar, time, ar.div(ar.const(1.0), attack, name="per"))
        scalar = model.scalar_attack_level(ar, model.scalar_time(ar, i, rate), attack)
        goal = (f"{{ {index_rate(ranges)} /\\ A in [{dyadic(ranges.attack[0], False)}, "
                f"{dyadic(ranges.attack[1], True)}] -> "
                f"|({scalar[0]} - {scalar[1]}) / {scalar[1]}| <= {dyadic(2 * U * (1 + slack), True)}"
                f" /\\ |({vector[0]} - {vector[1]}) / {vector[1]}| <= "
                f"{dyadic(4 * U * (1 + slack), True)} }}")
        tools.gappa(f"envelope_attack_{'fused' if fused else 'unfused'}",
                    gappa_script(ar.lines, goal))
    # Both relative to a level of at most 1.
    ledger.values["attack"] = 6 * U * (1 + slack)


def check_times(tools, facts, ledger, ranges):
    """A sample's time: the scalar's t = i / rate within u, the vector's i x
    (1 / rate) within (ENVELOPE_TIME_ERROR - 1) u, relative (Gappa); both 0
    at i = 0. So they differ by at most ENVELOPE_TIME_ERROR u i / rate."""
    vector = (facts["envelope_time_error"] - 1) * U
    for fused in fusings(facts):
        ar = arithmetic(fused)
        i, rate = ar.input("i"), ar.input("rate")
        tv = model.sample_time(ar, i, model.inverse_rate(ar, rate))
        ts = model.scalar_time(ar, i, rate)
        goal = (f"{{ {index_rate(ranges)} -> "
                f"|({ts[0]} - {ts[1]}) / {ts[1]}| <= {dyadic(U, True)} /\\ "
                f"|({tv[0]} - {tv[1]}) / {tv[1]}| <= {dyadic(vector, False)} }}")
        # i x (1 / rate) and i / rate are the same real number.
        name = "fused" if fused else "unfused"
        tools.gappa(f"sample_times_{name}", gappa_script(ar.lines, goal))
        goal = (f"{{ i in [0, 0] /\\ rate in [{ranges.rates[0]}, {ranges.rates[1]}] -> "
                f"{ts[0]} in [0, 0] /\\ {tv[0]} in [0, 0] }}")
        tools.gappa(f"sample_time_zero_{name}", gappa_script(ar.lines, goal))
    ledger.values["times"] = facts["envelope_time_error"] * U


def check_decay_release(tools, facts, ledger):
    """Each voice's decay and release levels on the two paths, the scalar's
    and the vector's formulas over their own times ts and tv: apart from the
    difference the real formulas make of the times' difference (at most
    ENVELOPE_TIME_ERROR u t / L, as that factor is 1 - sustain <= 1 over the
    decay, sustain <= 1 over the release, and each length >= L), within
    ENVELOPE_ERROR u (Gappa). A note lasts at most note_duration (count =
    trunc(rate x duration)), so t < duration (1 + u)."""
    bound = dyadic(facts["envelope_error"] * U, False)
    duration = facts["note_duration"]
    apart = facts["envelope_time_error"] * U * duration * (1 + U)
    times = ["ts = rnd(ts_);", "tv = rnd(tv_);"]
    ts, tv = ("ts", "ts", None), ("tv", "tv", None)
    for voice in facts["voices"]:
        attack, decay, sustain, release = (voice[k] for k in ("attack", "decay", "sustain", "release"))
        if not (0 <= sustain <= 1):
            tools.fail(f"the {voice['name']}'s sustain lies outside [0, 1]")
        for fused in fusings(facts) if decay > 0 else []:
            drop = F(1.0 - float(sustain))
            per = F(1.0 / float(decay))
            a, d, dr, pr = (f"({dyadic(x, True)})" for x in (attack, decay, drop, per))
            # The scalar decays while A <= ts < A + D, the sum rounded.
            top = F(float(attack) + float(decay)) - attack
            ar = arithmetic(fused)
            model.decay_level(ar, tv, ar.const(attack), ar.const(sustain), ar.const(per))
            model.scalar_decay_level(ar, ts, ar.const(attack), ar.const(sustain), ar.const(decay))
            # The real decay at each path's time.
            lines = times + ar.lines + [f"Ms = 1 - {dr} * ((ts - {a}) / {d});",
                                        f"Mv = 1 - {dr} * ((tv - {a}) / {d});"]
            goal = (f"{{ ts - {a} in [0, {dyadic(top, True)}] /\\ tv - ts in "
                    f"[-{dyadic(apart, True)}, {dyadic(apart, True)}] -> "
                    f"|(ls - lv) - (Ms - Mv)| <= {bound} }}")
            hints = ["(ls - lv) - (Ms - Mv) -> (ls - Ms) - (lv - Mv);",
                     f"ls - Ms -> (ls - (1 - ms)) - (ms - {dr} * ps) - {dr} * (ps - ds / {d})"
                     f" - {dr} * (ds - (ts - {a})) / {d};",
                     f"lv - Mv -> (lv - (1 - mv)) - (mv - {dr} * pv) - {dr} * (pv - dv * {pr})"
                     f" - {dr} * dv * ({pr} - 1 / {d}) - {dr} * (dv - (tv - {a})) / {d};"]
            # The scalar's decay phase, and the times' proven difference.
            derived = {f"ts - {a}": (F(0), top), "tv - ts": (-apart, apart)}
            tools.gappa(f"decay_{voice['name']}_{'fused' if fused else 'unfused'}",
                        gappa_script(lines, goal, hints), constant="ENVELOPE_ERROR",
                        derived=derived)
        for fused in fusings(facts) if release > 0 else []:
            per = F(1.0 / float(release))
            s_, r_, pr = (f"({dyadic(x, True)})" for x in (sustain, release, per))
            # The scalar releases from rs = fl(duration - R) <= ts <= the note's end.
            start = F(float(duration) - float(release))
            top = duration * (1 + U) ** 2 - start
            ar = arithmetic(fused)
            rs = ("rs", "rs", None)
            model.release_level(ar, tv, rs, ar.const(per), ar.const(sustain))
            model.scalar_release_level(ar, ts, rs, ar.const(release), ar.const(sustain))
            lines = times + ["rs = rnd(rs_);"] + ar.lines + [
                f"Ms = (1 - (ts - rs) / {r_}) * {s_};", f"Mv = (1 - (tv - rs) / {r_}) * {s_};"]
            goal = (f"{{ ts - rs in [0, {dyadic(top, True)}] /\\ tv - ts in "
                    f"[-{dyadic(apart, True)}, {dyadic(apart, True)}] -> "
                    f"|(ls - lv) - (Ms - Mv)| <= {bound} }}")
            hints = ["(ls - lv) - (Ms - Mv) -> (ls - Ms) - (lv - Mv);",
                     f"ls - Ms -> (ls - os * {s_}) + {s_} * ((os - (1 - qs)) - (qs - es / {r_})"
                     f" - (es - (ts - rs)) / {r_});",
                     f"lv - Mv -> (lv - ov * {s_}) + {s_} * ((ov - (1 - qv)) - (qv - ev * {pr})"
                     f" - ev * ({pr} - 1 / {r_}) - (ev - (tv - rs)) / {r_});",
                     "tv - rs -> (tv - ts) + (ts - rs);"]
            derived = {"ts - rs": (F(0), top), "tv - ts": (-apart, apart)}
            tools.gappa(f"release_{voice['name']}_{'fused' if fused else 'unfused'}",
                        gappa_script(lines, goal, hints), constant="ENVELOPE_ERROR",
                        derived=derived)
    gain = facts["output_gain"] * facts["full_scale"]

    def envelope(voice, frequency, rate, count):
        # |Lv - Ls| times |sum_j g_j sin(xs_j)| <= G: the attack's or a
        # phase's roundings, and the times' difference over the shortest
        # decay or release (at most 1).
        shortest = min([F(1)] + [x for x in (voice["decay"], voice["release"]) if x > 0])
        levels = max(ledger.value("attack"), facts["envelope_error"] * U)
        return gain * (levels + ledger.value("times") * F(count, rate) / shortest)
    ledger.link(SCALAR_ANGLES, SCALAR_LEVEL, envelope)


def check_angles(tools, facts, ledger, ranges):
    """The angles' roundings, relative: the scalar's argument of harmonic j,
    fl(fl(fl((j + 1) f) ts) 2pi_d) with ts = fl(i / rate), within
    SCALAR_ANGLE_ROUNDING of (j + 1) f (i / rate) 2pi_d, and of the vibrato,
    fl(fl(nu ts) 2pi_d), within SCALAR_VIBRATO_ROUNDING; the kernel's turns
    within VECTOR_TURNS_ROUNDING of f i / rate, for every frequency the
    kernel multiplies t by (a pitch or a vibrato's rate, bent by the deepest
    vibrato); and each vibrato voice's bent frequency. Both paths' steps are
    the model's (kernel_model.py), which the kernel comparison ties to the
    code."""
    hypotheses = (f"{index_rate(ranges)} /\\ "
                  f"f in [{dyadic(ranges.bent[0], False)}, {dyadic(ranges.bent[1], True)}]")
    two_pi = facts["two_pi"]
    ar = arithmetic(False)
    i, rate, f = ar.input("i"), ar.input("rate"), ar.input("f")
    turns = model.fundamental_turns(ar, model.sample_time(ar, i, model.inverse_rate(ar, rate)), f)
    goal = (f"{{ {hypotheses} -> |({turns[0]} - {turns[1]}) / {turns[1]}| <= "
            f"{dyadic(VECTOR_TURNS_ROUNDING, False)} }}")
    tools.gappa("angle_vector_turns", gappa_script(ar.lines, goal))
    ar = arithmetic(False)
    i, rate, f, j = ar.input("i"), ar.input("rate"), ar.input("f"), ar.input("j")
    ts = model.scalar_time(ar, i, rate)
    harmonic = model.scalar_harmonic_angle(ar, j, f, ts, ar.const(two_pi))
    vibrato = model.scalar_vibrato_angle(ar, f, ts, ar.const(two_pi))
    goal = (f"{{ {hypotheses} /\\ j in [1, {facts['max_harmonics']}] -> "
            f"|({harmonic[0]} - {harmonic[1]}) / {harmonic[1]}| <= "
            f"{dyadic(SCALAR_ANGLE_ROUNDING, False)} /\\ "
            f"|({vibrato[0]} - {vibrato[1]}) / {vibrato[1]}| <= "
            f"{dyadic(SCALAR_VIBRATO_ROUNDING, False)} }}")
    tools.gappa("angle_scalar", gappa_script(ar.lines, goal))
    # The bent frequencies: the scalar's fl(fl(1 + fl(D s)) f) and the
    # kernel's (fl(fl(D f) w + f), its sum rounded with the product or after
    # it) from sines s and w, each within side_rounding(D) f of its exact
    # value (Gappa); so apart from the exact difference (w - s) D f they lie
    # within bend_rounding(D) of each other, relative to the scalar's. The
    # kernel's roundings are of values near f, not near 1, so their sizes
    # follow f's binade: Gappa splits f's range (`$ pitch`) until the bound
    # over f holds on every piece.
    edge = 1 + max(facts["sine_error"], facts["cosine_error"], facts["rotated_pair_error"])
    pitches = (f"pitch in [{dyadic(ranges.pitches[0], False)}, "
               f"{dyadic(ranges.pitches[1], True)}]")
    for voice in (v for v in facts["voices"] if v["vibrato"]):
        depth = voice["depth"]
        side = dyadic(side_rounding(depth), False)
        for fused in (False, True):
            ar = arithmetic(fused)
            pitch = ar.input("pitch")
            bent = model.bent_frequency(ar, ar.input("w"),
                                        model.vibrato_swing(ar, ar.const(depth), pitch), pitch)
            fs = model.scalar_bent_frequency(ar, ar.const(depth), ar.input("sv"), pitch)
            goal = (f"{{ |sv| <= 1 /\\ |w| <= {dyadic(edge, True)} /\\ {pitches} -> "
                    f"|({bent[0]} - {bent[1]}) / pitch| <= {side} /\\ "
                    f"|({fs[0]} - {fs[1]}) / pitch| <= {side} }}")
            tools.gappa(f"bend_{voice['name']}_{'fused' if fused else 'unfused'}",
                        gappa_script(ar.lines, goal, ["$ pitch;"]), split=True)

    def angle(voice, frequency, rate, count):
        # Harmonic j's arguments differ by (j + 1) A, and sin is
        # 1-Lipschitz: the sums by M0 A. A: the angle's roundings on both
        # paths and 2pi_d's shortfall over the note's turns, with vibrato the
        # bent frequency's difference rho (the vibrato's own angle, its
        # pair's error and its rotations, and the bend's roundings), without
        # it the rotations' steps.
        weighted = sums_of(facts, voice)[0]
        longest = F(count, rate)
        short, beta = ledger.value("2 pi's shortfall"), ledger.value("beta")
        rotations, two_pi = ledger.value("rotations"), 2 * PI_HIGH
        depth = rho = 0
        if voice["vibrato"]:
            depth, nu = voice["depth"], voice["rate"]
            sigma = (nu * longest * (short + two_pi * (SCALAR_VIBRATO_ROUNDING
                                                       + VECTOR_TURNS_ROUNDING))
                     + U + ledger.value("rotated pair")
                     + ledger.value("vibrato rotations") * beta(nu, rate))
            rho = depth * sigma / ((1 - depth) * (1 - 4 * U)) + bend_rounding(depth)
        a = frequency * (1 + depth) * longest * (
            short + two_pi * (SCALAR_ANGLE_ROUNDING + VECTOR_TURNS_ROUNDING + rho))
        if not voice["vibrato"]:
            a += rotations * beta(frequency, rate)
        return weighted * a
    ledger.link(VECTOR_ANGLE, SCALAR_ANGLES, angle)


def power_of_two(n):
    return n & (n - 1) == 0


# NoteErrorBound rounds its factors up by about 1e-4; beyond that, it must
# be 1.01 B both ways.
BOUND_ABOVE = F(2, 10**4)


def check_note_bounds(tools, facts, ledger):
    """NoteErrorBound, as the library computes it, against B composed from
    the proven pieces (Ledger), for every voice over pitches and rates
    spanning the notes and the request's limits: it must be B times its 1.01
    (which covers its own roundings), give or take 2^-40 below and
    BOUND_ABOVE above. A term of either weakened fails: the library's below,
    the checker's above (a term the checker composes smaller than the
    library does)."""
    if tools.failures and tools.fail_fast:
        return
    low, high = F(10**9), F(0)
    for kind, pitch, rate, count, library in facts["bounds"]:
        voice = facts["voices"][kind]
        try:
            bound = ledger.bound(voice, pitch, rate, count)
        except Unproven as missing:
            tools.fail(f"the bound: {missing}")
            return
        ratio = library / bound
        low, high = min(low, ratio), max(high, ratio)
        if library * (1 + F(1, 2**40)) < F(101, 100) * bound:
            tools.fail(f"NoteErrorBound: {float(library):.6g} for the {voice['name']} at "
                       f"{float(pitch):.6g} Hz, {rate} Hz rate; the bound is {float(bound):.6g}")
            return
        if library > F(101, 100) * bound * (1 + BOUND_ABOVE):
            tools.fail(f"the checker's bound: {float(bound):.6g} for the {voice['name']} at "
                       f"{float(pitch):.6g} Hz, {rate} Hz rate, where NoteErrorBound gives "
                       f"{float(library):.6g}, {float(library / bound):.6f} times it: a term "
                       f"of the checker is weaker than the library's")
            return
    print(f"NoteErrorBound: {float(low):.6f} to {float(high):.6f} times the bound composed "
          f"over {len(facts['bounds'])} notes")


def product_bound(facts, voice):
    """The most |s P| of a voice: |sin x P(cos x)| <= G sum_j a_j / H, and
    the pair's and Horner's errors (the range the vector products' script
    must assume)."""
    gain = facts["output_gain"] * facts["full_scale"]
    errors = max(facts["sine_error"], facts["cosine_error"], facts["rotated_pair_error"])
    weighted, slope, magnitude = sums_of(facts, voice)
    g = sum(voice["harmonics"]) * gain / len(voice["harmonics"])
    return (g + errors * (weighted + slope) * (1 + facts["chebyshev_slack"])
            + (1 + errors) * facts["polynomial_error"] * U * magnitude)


def load(path):
    out = subprocess.run([path], capture_output=True, text=True, check=True).stdout
    raw = json.loads(out)
    facts = {}
    for key, value in raw.items():
        if isinstance(value, str):
            facts[key] = exact(value)
        elif key in ("sine", "cosine"):
            facts[key] = [exact(x) for x in value]
        else:
            facts[key] = value
    for voice in facts["voices"]:
        for key in ("harmonics", "polynomial"):
            voice[key] = [exact(x) for x in voice[key]]
        for key in ("attack", "decay", "sustain", "release", "rate", "depth"):
            voice[key] = exact(voice[key])
    facts["bounds"] = [(kind, exact(pitch), rate, count, exact(bound))
                       for kind, pitch, rate, count, bound in facts["bounds"]]
    facts["reduced_turns"] = F(1, 8)  # the sine-cosine's claim on |r|
    # The most rotations between anchors any kernel makes (measured by running
    # those this CPU runs), and never fewer than NoteErrorBound assumes.
    # The same for the vibrato's own pair, rotated at the vibrato's rate.
    measured = [k["rotations"] for k in facts["kernels"] if k["rotations"] >= 0]
    facts["rotations"] = max(measured + [facts["rotations_per_anchor"]])
    wobbles = [k["vibrato_rotations"] for k in facts["kernels"] if k["vibrato_rotations"] >= 0]
    facts["vibrato_rotations"] = max(wobbles + [facts["rotations_per_anchor"]])
    facts["drop_binades"] = 0
    if not measured:
        print("this CPU runs no vector kernel: the rotations between anchors are not measured")
    else:
        print("rotations between fresh evaluations, as measured: " + ", ".join(
            f"{k['name']} {k['rotations']} (fixed), {k['vibrato_rotations']} (vibrato)"
            for k in facts["kernels"] if k["rotations"] >= 0))
    return facts


def perturb(facts, change, tools):
    """Applies a perturbation; returns the checks to run."""
    if change not in PERTURBATIONS:
        raise SystemExit(f"unknown perturbation {change}")
    key, factor, checks = PERTURBATIONS[change]
    if key == "ranges":
        tools.ranges = Ranges(facts)
        factor(tools.ranges, facts)
    elif key == "grid":
        facts["bounds"] = [entry for entry in facts["bounds"] if entry[2] < factor]
    elif key == "script":
        old, new = factor(facts) if callable(factor) else (factor[0].format(**facts), factor[1])
        tools.narrow = lambda script: script.replace(old, new, 1)
    elif key == "sollya":
        tools.narrow_sollya = lambda script: re.sub(factor[0], factor[1], script)
    elif key in ("rotations", "vibrato_rotations"):
        facts["kernels"][0][key] = facts[key] = factor
    elif key == "drop_binades":
        facts[key] = factor
    elif key == "bounds":
        facts[key] = [entry[:4] + (entry[4] * factor,) for entry in facts[key]]
    elif factor is None:
        facts[key][0] = F(float(repr(float(facts[key][0]))[:-3]))
    else:
        facts[key] = facts[key] * F(factor)
    return checks


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--facts", required=True, help="the dump_kernel_facts program")
    parser.add_argument("--fit", required=True, help="fit_sincos.sollya")
    parser.add_argument("--perturb", help="change one fact; then succeed only if refuted")
    parser.add_argument("--figures", action="store_true",
                        help="also print the tightest figure Gappa finds for each claim")
    parser.add_argument("--keep", help="write the scripts into this folder and keep them")
    args = parser.parse_args()
    facts = load(args.facts)
    checks = {"fit", "reduction", "sincos", "step", "rotation", "chebyshev", "polynomials", "sums",
              "envelope", "angles"}
    with tempfile.TemporaryDirectory() as temporary:
        folder = args.keep or temporary
        os.makedirs(folder, exist_ok=True)
        tools = Tools(folder, args.figures)
        if args.perturb:
            checks = set(perturb(facts, args.perturb, tools))
            tools.fail_fast = True
        ranges = tools.ranges = tools.ranges or Ranges(facts)
        ledger = Ledger()

        def run(group, check, *extra):
            # Every check enters its pieces in the ledger; only the chosen
            # ones run their tools.
            tools.active = group in checks
            check(tools, facts, *extra)
        check_ranges(tools, facts, ranges)
        run("fit", check_fit, args.fit)
        run("reduction", check_reduction, ranges)
        run("sincos", check_sincos, ledger, ranges)
        run("step", check_step, ledger, ranges)
        run("rotation", check_rotation, ledger)
        run("chebyshev", check_chebyshev, ledger)
        run("polynomials", check_polynomials, ledger)
        run("sums", check_sums, ledger)
        run("envelope", check_times, ledger, ranges)
        run("envelope", check_decay_release, ledger)
        run("envelope", check_attack, ledger, ranges)
        run("angles", check_angles, ledger, ranges)
        check_note_bounds(tools, facts, ledger)
    if args.perturb:
        if tools.failures:
            print(f"refuted, as it must be: {args.perturb}")
            return 0
        print(f"NOT REFUTED: {args.perturb}")
        return 1
    if tools.failures:
        print(f"{len(tools.failures)} claims not proven")
        return 1
    print("every constant of error_bounds.h is proven")
    return 0


if __name__ == "__main__":
    sys.exit(main())
