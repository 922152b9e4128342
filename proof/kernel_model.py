#!/usr/bin/env python3
"""The vector kernel's arithmetic (synthesis/fast/note_kernel_body.h), the
rotation step's angle (StepAngle) and the scalar path's (render_note.cpp,
envelope.cpp), written once in the code's order of operations, over an
arithmetic that either computes in doubles, rounding every operation as the
code does (Doubles), or writes Gappa definitions of each rounded value beside
its exact counterpart (GappaText). check_error_bound.py builds its Gappa
scripts from these functions; run as a program, this one recomputes what the
code computed for a set of notes (dump_kernel_facts --trace, run under the
target's emulator if any) and compares the values bit for bit. It requires
every kernel the CPU reports the features of (tests/cpu_report.h) to have
been traced, for every voice and phase, with as many values as the model
computes, and names each kernel the CPU cannot run. A reordered, fused,
unfused or added operation fails here until the same change is made below,
and then the proof runs on the changed model. With --nudge it moves one value
of each kind on the model's side by one ulp and succeeds only if the
comparison finds each: the comparison is bit for bit.

It exits 0 when every value matches, 1 when one does not, 2 on bad input.
"""
import argparse
import json
import math
import shlex
import subprocess
import sys


# -- arithmetics --------------------------------------------------------------

def fma(a, b, c):
    """a x b + c rounded once, to nearest even: exact in integers, then one
    correctly rounded conversion."""
    (an, ad), (bn, bd), (cn, cd) = (x.as_integer_ratio() for x in (a, b, c))
    # The denominators are powers of two.
    scale = max(ad * bd, cd)
    total = an * bn * (scale // (ad * bd)) + cn * (scale // cd)
    if total == 0:
        return a * b + c  # exact, and with the sign IEEE gives a zero sum
    # int -> float rounds correctly; the power of two is exact for normal results.
    return math.ldexp(float(total), 1 - scale.bit_length())


class Doubles:
    """Each operation in IEEE doubles, as the kernel with or without FMA."""

    def __init__(self, fused):
        self.fused = fused

    @staticmethod
    def const(x):
        return x

    @staticmethod
    def add(a, b, name=None):
        return a + b

    @staticmethod
    def sub(a, b, name=None):
        return a - b

    @staticmethod
    def mul(a, b, name=None):
        return a * b

    @staticmethod
    def div(a, b, name=None):
        return a / b

    @staticmethod
    def neg(a):
        return -a

    def muladd(self, a, b, c, name=None):
        return fma(a, b, c) if self.fused else a * b + c


class GappaText:
    """Gappa definitions: every value is the rounded expression (a named
    variable), the exact one (its name with an M before it) and, for
    constants, the number itself, so that operations on constants fold as
    the compiler folds them."""

    def __init__(self, fused, dyadic):
        self.fused = fused
        self.dyadic = dyadic  # a double as Gappa's exact m b e
        self.lines = []
        self.made = 0

    def input(self, name):
        """A double the computation starts from."""
        self.lines += [f"{name} = rnd({name}_);", f"M{name} = {name};"]
        return (name, f"M{name}", None)

    def const(self, x):
        x = float(x)
        text = str(int(x)) if x == int(x) and abs(x) < 2**53 else f"({self.dyadic(x)})"
        return (text, text, x)

    def _define(self, rounded, exact, name, operands, fold):
        if all(x[2] is not None for x in operands):
            return self.const(fold(*(x[2] for x in operands)))
        if name is None:
            name = f"v{self.made}"
            self.made += 1
        self.lines += [f"{name} = rnd({rounded});", f"M{name} = {exact};"]
        return (name, f"M{name}", None)

    def add(self, a, b, name=None):
        if a[2] == 0.0 and b[2] is None:
            return b  # 0 + x is x, exactly
        return self._define(f"{a[0]} + {b[0]}", f"{a[1]} + {b[1]}", name, (a, b), Doubles.add)

    def sub(self, a, b, name=None):
        return self._define(f"{a[0]} - {b[0]}", f"{a[1]} - ({b[1]})", name, (a, b), Doubles.sub)

    def mul(self, a, b, name=None):
        return self._define(f"{a[0]} * {b[0]}", f"{a[1]} * {b[1]}", name, (a, b), Doubles.mul)

    def div(self, a, b, name=None):
        return self._define(f"{a[0]} / {b[0]}", f"{a[1]} / ({b[1]})", name, (a, b), Doubles.div)

    @staticmethod
    def neg(a):
        return (f"-({a[0]})", f"-({a[1]})", None if a[2] is None else -a[2])

    def muladd(self, a, b, c, name=None):
        exact = f"{a[1]} * {b[1]} + {c[1]}"
        if self.fused:
            return self._define(f"{a[0]} * {b[0]} + {c[0]}", exact, name, (a, b, c), fma)
        product = self.mul(a, b)
        return self._define(f"{product[0]} + {c[0]}", exact, name, (product, c), Doubles.add)


# -- the kernel's steps, per lane ---------------------------------------------

def reduce_turns(ar, turns, shift):
    """The sincos reduction: the shifted sum holding q, the nearest whole
    number of quarter turns, and r = turns - q / 4."""
    shifted = ar.muladd(turns, ar.const(4.0), ar.const(shift), name="shifted")
    d = ar.sub(ar.const(shift), shifted, name="d")
    r = ar.muladd(d, ar.const(0.25), turns, name="r")
    return shifted, r


def series(ar, r, sine, cosine):
    """r S(r^2) and C(r^2) by Horner's rule: the sine and cosine of r turns."""
    z = ar.mul(r, r, name="z")
    s = ar.const(sine[-1])
    c = ar.const(cosine[-1])
    for k in range(len(sine) - 2, -1, -1):
        s = ar.muladd(s, z, ar.const(sine[k]), name="s0" if k == 0 else None)
        c = ar.muladd(c, z, ar.const(cosine[k]), name="c0" if k == 0 else None)
    return ar.mul(s, r, name="s"), c


def quadrant(shifted, s, c):
    """The quarter turn's swap and negation (exact): q's low bits are the
    shifted sum's."""
    q = int(shifted)
    sine, cosine = (c, s) if q & 1 else (s, c)
    return (-sine if q & 2 else sine), (-cosine if (q + 1) & 2 else cosine)


def rotate(ar, s, c, step_sine, step_cosine):
    return (ar.muladd(s, step_cosine, ar.mul(c, step_sine), name="sine_out"),
            ar.muladd(c, step_cosine, ar.neg(ar.mul(s, step_sine)), name="cosine_out"))


def mix(ar, polynomial, cosine):
    """The folded harmonic polynomial in cos x, by Horner's rule."""
    m = ar.const(polynomial[-1])
    for k in range(len(polynomial) - 2, -1, -1):
        m = ar.muladd(m, cosine, ar.const(polynomial[k]), name="y" if k == 0 else None)
    return m


def inverse_rate(ar, rate):
    return ar.div(ar.const(1.0), rate, name="inverse")


def sample_time(ar, index, inverse_rate):
    return ar.mul(index, inverse_rate, name="tv")


def fundamental_turns(ar, t, frequency):
    return ar.mul(t, frequency, name="turns")


def vibrato_swing(ar, depth, frequency):
    """D x f, once per note in scalar code (NoteJobFor): how far the vibrato
    bends the frequency at its peak."""
    return ar.mul(depth, frequency, name="df")


def bent_frequency(ar, wobble, swing, frequency):
    """With vibrato: the frequency bent by the vibrato's sine, f + (D f) w."""
    return ar.muladd(swing, wobble, frequency, name="fb")


def bent_turns(ar, wobble, swing, frequency, t):
    return ar.mul(bent_frequency(ar, wobble, swing, frequency), t, name="turns")


def attack_level(ar, t, per_attack):
    return ar.mul(t, per_attack, name="vector")


def decay_level(ar, t, attack, sustain, per_decay):
    drop = ar.sub(ar.const(1.0), sustain)
    progress = ar.mul(ar.sub(t, attack, name="dv"), per_decay, name="pv")
    return ar.sub(ar.const(1.0), ar.mul(drop, progress, name="mv"), name="lv")


def release_level(ar, t, release_start, per_release, sustain):
    progress = ar.mul(ar.sub(t, release_start, name="ev"), per_release, name="qv")
    return ar.mul(ar.sub(ar.const(1.0), progress, name="ov"), sustain, name="lv")


def sample_value(ar, sine, polynomial, level):
    return ar.mul(ar.mul(sine, polynomial, name="sp"), level, name="value")


def step_turns(ar, frequency, samples, rate):
    """The turns of one rotation step (StepAngle): f x S / rate."""
    return ar.div(ar.mul(frequency, samples, name="product"), rate, name="turns")


def step_angle(ar, fraction, two_pi):
    """The step's turns, whole turns dropped (exactly), as an angle."""
    return ar.mul(fraction, two_pi, name="angle")


# -- the scalar path (render_note.cpp, envelope.cpp), per sample ---------------

def scalar_time(ar, index, rate):
    return ar.div(index, rate, name="ts")


def scalar_vibrato_angle(ar, vibrato_rate, t, two_pi):
    return ar.mul(ar.mul(vibrato_rate, t), two_pi, name="vibrato")


def scalar_bent_frequency(ar, depth, sine, frequency):
    """(1 + D sin(...)) f."""
    return ar.mul(ar.add(ar.const(1.0), ar.mul(depth, sine)), frequency, name="fs")


def scalar_harmonic_angle(ar, number, frequency, t, two_pi):
    """The argument of harmonic `number` (j + 1): (j + 1) f t 2pi_d."""
    return ar.mul(ar.mul(ar.mul(number, frequency), t), two_pi, name="harmonic")


def scalar_sum(ar, amplitudes, sines):
    total = ar.const(0.0)
    for j, (a, s) in enumerate(zip(amplitudes, sines)):
        total = ar.add(total, ar.mul(a, s), name=f"sum{j}")
    return total


def scalar_value(ar, level, total, harmonics, gain, scale):
    """level x (sum / H) x OUTPUT_GAIN x FULL_SCALE, left to right."""
    mix = ar.div(total, harmonics, name="mix")
    return ar.mul(ar.mul(ar.mul(level, mix), gain), scale, name="value")


def scalar_attack_level(ar, t, attack):
    return ar.div(t, attack, name="ls")


def scalar_decay_level(ar, t, attack, sustain, decay):
    drop = ar.sub(ar.const(1.0), sustain)
    progress = ar.div(ar.sub(t, attack, name="ds"), decay, name="ps")
    return ar.sub(ar.const(1.0), ar.mul(drop, progress, name="ms"), name="ls")


def scalar_release_start(ar, duration, release):
    return ar.sub(duration, release, name="rs")


def scalar_release_level(ar, t, release_start, release, sustain):
    progress = ar.div(ar.sub(t, release_start, name="es"), release, name="qs")
    return ar.mul(ar.sub(ar.const(1.0), progress, name="os"), sustain, name="ls")


def scalar_envelope(ar, t, voice, duration):
    """EnvelopeLevel, in doubles (the phase chosen by comparing t)."""
    attack, decay, sustain, release = (voice[k] for k in ("attack", "decay", "sustain", "release"))
    if t < attack:
        return scalar_attack_level(ar, t, attack)
    if t < attack + decay:
        return scalar_decay_level(ar, t, attack, sustain, decay)
    start = scalar_release_start(ar, duration, release)
    if t < start:
        return sustain
    return scalar_release_level(ar, t, start, release, sustain)


def scalar_sample(voice, frequency, duration, rate, index, facts, sine=math.sin):
    """NoteSampleValue in doubles, with the C library's sine (`sine`)."""
    ar = Doubles(False)
    two_pi, t = facts["two_pi"], scalar_time(ar, float(index), float(rate))
    f = frequency
    if voice["vibrato"]:
        wobble = sine(scalar_vibrato_angle(ar, voice["rate"], t, two_pi))
        f = scalar_bent_frequency(ar, voice["depth"], wobble, frequency)
    sines = [sine(scalar_harmonic_angle(ar, float(j + 1), f, t, two_pi))
             for j in range(len(voice["harmonics"]))]
    total = scalar_sum(ar, voice["harmonics"], sines)
    level = scalar_envelope(ar, t, voice, duration)
    return scalar_value(ar, level, total, float(len(voice["harmonics"])), facts["output_gain"],
                        facts["full_scale"])


# -- a kernel call, as RenderSamplesOf makes it ---------------------------------

def render(call, kernel, voice, facts):
    """The values a kernel call computes (before truncation), lane by lane."""
    ar = Doubles(kernel["fused"])
    lanes, group = kernel["lanes"], kernel["group"]
    stride = lanes * group
    rate = float(call["rate"])
    first, count = call["first"], len(call["values"])
    frequency, polynomial = call["frequency"], call["polynomial"]
    (step_sine, step_cosine, vibrato_sine, vibrato_cosine, decay_from, sustain_from, release_from,
     release_start, per_attack, per_decay, per_release) = call["job"]
    sine_turns, cosine_turns, shift = facts["sine"], facts["cosine"], facts["rounding_shift"]
    vibrato = voice["vibrato"] != 0

    def sincos(turns):
        shifted, r = reduce_turns(ar, turns, shift)
        return quadrant(shifted, *series(ar, r, sine_turns, cosine_turns))

    inverse = inverse_rate(ar, rate)
    swing = vibrato_swing(ar, voice["depth"], frequency)
    pair = [None] * stride  # each lane's sine and cosine, carried between strides
    wobble = [None] * stride
    since = facts["rotations_per_anchor"]
    values = []
    for at in range(0, count, stride):
        anchor = since == facts["rotations_per_anchor"]
        since = 0 if anchor else since + 1
        for lane in range(stride):
            index = float(lane % lanes) + float(first + at + (lane // lanes) * lanes)
            t = sample_time(ar, index, inverse)
            if vibrato:
                if anchor:
                    wobble[lane] = sincos(fundamental_turns(ar, t, voice["rate"]))
                else:
                    wobble[lane] = rotate(ar, *wobble[lane], vibrato_sine, vibrato_cosine)
                pair[lane] = sincos(bent_turns(ar, wobble[lane][0], swing, frequency, t))
            elif anchor:
                pair[lane] = sincos(fundamental_turns(ar, t, frequency))
            else:
                pair[lane] = rotate(ar, *pair[lane], step_sine, step_cosine)
            if index < decay_from:
                level = attack_level(ar, t, per_attack)
            elif index < sustain_from:
                level = decay_level(ar, t, voice["attack"], voice["sustain"], per_decay)
            elif index >= release_from:
                level = release_level(ar, t, release_start, per_release, voice["sustain"])
            else:
                level = voice["sustain"]
            if at + lane < count:
                values.append(sample_value(ar, pair[lane][0], mix(ar, polynomial, pair[lane][1]),
                                           level))
    return values


def floats(raw):
    """dump_kernel_facts' JSON with its hexadecimal doubles as floats."""
    if isinstance(raw, str):
        return float.fromhex(raw)
    if isinstance(raw, list):
        return [floats(x) for x in raw]
    if isinstance(raw, dict):
        return {k: (v if k in ("name", "kernel", "needs") else floats(v)) for k, v in raw.items()}
    return raw


def count_of(call, kernel, facts):
    """How many values the trace's call must hold (TraceCall): one anchor,
    every rotation after it and the next anchor, or up to the note's end."""
    n = int(call["rate"] * facts["note_duration"])
    return min((facts["rotations_per_anchor"] + 2) * kernel["stride"], n - call["first"])


def nudged(value, nudge):
    """The value, or the next double above it: the comparison's own test."""
    return math.nextafter(value, math.inf) if nudge else value


def loudest(values):
    """The index of the value farthest from 0, which a relative tolerance
    would most easily let through one ulp off."""
    return max(range(len(values)), key=lambda k: abs(values[k]))


def compare_steps(steps, facts, nudge=False):
    """StepAngle against the model, for every stride, pitch and rate traced."""
    ar, differ = Doubles(False), 0
    for k, (frequency, samples, rate, angle) in enumerate(steps):
        turns = step_turns(ar, frequency, float(samples), float(rate))
        mine = nudged(step_angle(ar, turns - float(round(turns)), facts["two_pi"]),
                      nudge and k == 0)
        if mine.hex() != angle.hex():
            differ += 1
            if differ <= 3:
                print(f"MISMATCH: the step of {frequency} Hz over {samples} samples at {rate} Hz: "
                      f"{angle.hex()}, model {mine.hex()}")
    print(f"rotation steps: {len(steps)} angles compared")
    return differ


class TargetSine:
    """The sine of the target's C library, which the scalar path calls: the
    model's arguments are sent to `dump_kernel_facts --sines`, run as the
    trace was (under the target's emulator if any), a round at a time until
    every argument the model reaches has the target's answer (an answer can
    move a later argument: the vibrato's sine bends the harmonics')."""

    def __init__(self, command):
        self.command = command
        self.known = {}
        self.missing = set()

    def __call__(self, x):
        found = self.known.get(x.hex())
        if found is None:
            self.missing.add(x.hex())
            return math.sin(x)
        return found

    def ask(self):
        """Asks the target the missing arguments; False when none was."""
        if not self.missing:
            return False
        asked = sorted(self.missing)
        run = subprocess.run(self.command + ["--sines"], input="\n".join(asked) + "\n",
                             capture_output=True, text=True, check=True)
        answers = run.stdout.split()
        if len(answers) != len(asked):
            raise SystemExit(f"kernel_model: {len(answers)} sines for {len(asked)} arguments")
        self.known.update(zip(asked, (float.fromhex(y) for y in answers)))
        self.missing.clear()
        return True


def compare_scalar(calls, facts, sine, nudge=False):
    """The scalar path's values (NoteSampleValue) against the model's, with
    the target's sine."""
    def values():
        return [[scalar_sample(facts["voices"][call["voice"]], call["frequency"],
                               facts["note_duration"], call["rate"], call["first"] + k, facts,
                               sine) for k in range(len(call["scalar"]))] for call in calls]
    model = values()
    while sine.ask():
        model = values()
    differ = compared = 0
    for call, computed in zip(calls, model):
        voice = facts["voices"][call["voice"]]
        target = loudest(call["scalar"]) if nudge else -1
        for k, theirs in enumerate(call["scalar"]):
            mine = nudged(computed[k], k == target)
            compared += 1
            if mine.hex() != theirs.hex():
                differ += 1
                if differ <= 3:
                    print(f"MISMATCH: the scalar {voice['name']} at {call['rate']} Hz, sample "
                          f"{call['first'] + k}: {theirs.hex()}, model {mine.hex()}")
    print(f"scalar path: {compared} values compared")
    return differ


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", maxsplit=1)[0])
    parser.add_argument("--facts", required=True,
                        help="the dump_kernel_facts program, with its emulator before it if any")
    parser.add_argument("--kernels-only", action="store_true",
                        help="leave out the scalar path (where the program cannot be asked "
                             "for sines on its standard input)")
    parser.add_argument("--nudge", action="store_true",
                        help="move one model value of each kind one ulp up; succeed only if the "
                             "comparison finds every one")
    args = parser.parse_args()
    command = shlex.split(args.facts)
    try:
        run = [subprocess.run(command + extra, capture_output=True, text=True, check=False)
               for extra in ([], ["--trace"])]
    except OSError as error:
        print(f"kernel_model: cannot run {args.facts}: {error}")
        return 2
    if any(r.returncode != 0 for r in run):
        print(f"kernel_model: {args.facts} failed:\n{run[0].stderr}{run[1].stderr}")
        return 2
    facts = floats(json.loads(run[0].stdout))
    trace = floats(json.loads(run[1].stdout))
    calls = trace["calls"]
    kernels = {k["name"]: k for k in facts["kernels"]}
    compared = {name: 0 for name in kernels}
    traced = {name: [] for name in kernels}
    mismatches = failures = 0
    if args.nudge:  # the first call of each kernel, its first value nudged
        calls = [c for n, c in enumerate(calls)
                 if all(c["kernel"] != other["kernel"] for other in calls[:n])]
    for call in calls:
        kernel = kernels[call["kernel"]]
        voice = facts["voices"][call["voice"]]
        model = render(call, kernel, voice, facts)
        if args.nudge:
            target = loudest(model)
            model[target] = nudged(model[target], True)
        expected = count_of(call, kernel, facts)
        if not len(model) == len(call["values"]) == len(call["scalar"]) == expected:
            failures += 1
            print(f"COUNT: {kernel['name']} {voice['name']}: the trace holds "
                  f"{len(call['values'])} values, the model {len(model)}, expected {expected}")
        for k, (mine, theirs) in enumerate(zip(model, call["values"])):
            if mine.hex() != theirs.hex():
                mismatches += 1
                if mismatches <= 5:
                    print(f"MISMATCH: {kernel['name']} {voice['name']} {call['rate']} Hz rate, "
                          f"sample {call['first'] + k}: kernel {theirs.hex()}, model {mine.hex()}")
                break
        compared[kernel["name"]] += len(model)
        traced[kernel["name"]].append(call["voice"])
    if args.nudge:
        steps = compare_steps(trace["steps"][:1], facts, True)
        scalar = compare_scalar(calls[:1], facts, TargetSine(command), True)
        found = mismatches == len(calls) and steps == 1 and scalar == 1
        print(f"one ulp up in {len(calls)} kernels' values, a step and a scalar value: "
              f"{mismatches}, {steps} and {scalar} found")
        print("every nudge found" if found else "NOT FOUND: the comparison is not bit for bit")
        return 0 if found else 1
    phases = 4  # each voice's start and a little before its decay, sustain and release
    for name, kernel in kernels.items():
        shape = (f"{name} ({kernel['lanes']} lanes x {kernel['group']}, "
                 f"{'fused' if kernel['fused'] else 'unfused'})")
        if not kernel["reported"]:
            print(f"NOT RUN on this machine: {shape}: it needs {kernel['needs']}")
            continue
        voices = set(traced[name])
        if not kernel["runs"] or len(voices) != len(facts["voices"]) or \
                len(traced[name]) != len(facts["voices"]) * phases:
            failures += 1
            print(f"NOT TRACED: {shape}: this CPU reports {kernel['needs']}, yet the trace "
                  f"holds {len(traced[name])} calls for {len(voices)} of "
                  f"{len(facts['voices'])} voices")
            continue
        print(f"{shape}: {compared[name]} values compared")
    failures += compare_steps(trace["steps"], facts)
    if not args.kernels_only:
        failures += compare_scalar(calls, facts, TargetSine(command))
    if mismatches:
        print(f"{mismatches} calls differ from the model: change kernel_model.py with the kernel")
    if mismatches or failures:
        return 1
    print("every kernel's values are the model's, bit for bit")
    return 0


if __name__ == "__main__":
    sys.exit(main())
