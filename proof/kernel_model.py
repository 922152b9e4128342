#!/usr/bin/env python3
"""The vector kernel's arithmetic (synthesis/fast/note_kernel_body.h), written
once in the kernel's order of operations, over an arithmetic that either
computes in doubles, rounding every operation as the kernel does (Doubles), or
writes Gappa definitions of each rounded value beside its exact counterpart
(GappaText). check_error_bound.py builds its Gappa scripts from these functions;
run as a program, this one recomputes what every kernel this CPU runs
computed for a set of notes (dump_kernel_facts --trace) and compares the
values bit for bit. A reordered, fused, unfused or added operation in the
kernel fails here until the same change is made below, and then the proof
runs on the changed model.

It exits 0 when every value matches, 1 when one does not, 2 on bad input.
"""
import argparse
import json
import math
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
        return {k: (v if k in ("name", "kernel") else floats(v)) for k, v in raw.items()}
    return raw


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", maxsplit=1)[0])
    parser.add_argument("--facts", required=True, help="the dump_kernel_facts program")
    args = parser.parse_args()
    run = [subprocess.run([args.facts] + extra, capture_output=True, text=True, check=False)
           for extra in ([], ["--trace"])]
    if any(r.returncode != 0 for r in run):
        print(f"kernel_model: {args.facts} failed:\n{run[0].stderr}{run[1].stderr}")
        return 2
    facts = floats(json.loads(run[0].stdout))
    calls = floats(json.loads(run[1].stdout))["calls"]
    kernels = {k["name"]: k for k in facts["kernels"]}
    compared = {}
    mismatches = 0
    for call in calls:
        kernel = kernels[call["kernel"]]
        voice = facts["voices"][call["voice"]]
        model = render(call, kernel, voice, facts)
        for k, (mine, theirs) in enumerate(zip(model, call["values"])):
            if mine.hex() != theirs.hex():
                mismatches += 1
                if mismatches <= 5:
                    print(f"MISMATCH: {kernel['name']} {voice['name']} {call['rate']} Hz rate, "
                          f"sample {call['first'] + k}: kernel {theirs.hex()}, model {mine.hex()}")
                break
        compared[kernel["name"]] = compared.get(kernel["name"], 0) + len(model)
    for name, n in compared.items():
        kernel = kernels[name]
        print(f"{name} ({kernel['lanes']} lanes x {kernel['group']}, "
              f"{'fused' if kernel['fused'] else 'unfused'}): {n} values compared")
    if not compared:
        print("kernel_model: this CPU runs no vector kernel; nothing compared")
    if mismatches:
        print(f"{mismatches} calls differ from the model: change kernel_model.py with the kernel")
        return 1
    print("every kernel's values are the model's, bit for bit")
    return 0


if __name__ == "__main__":
    sys.exit(main())
