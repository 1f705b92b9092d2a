#!/usr/bin/env python3
"""Writes the seed corpus for the fuzz targets: small .dcc streams that reach the decoder's
corners (stamp wrap, the eighteen periods whose speed rounds one below, zero period, sync runs,
stray bytes). Every target reads raw log bytes, so each gets the same seeds.

Usage: fuzz/make-corpus.py [OUTPUT_DIR]   (default: fuzz/corpus next to this script)
"""
import os
import random
import sys

MOD = 1 << 24
TARGETS = ("fuzz_decoder", "fuzz_replay", "fuzz_decode_cli")
LOW_PERIODS = (9, 18, 36, 72, 144, 288, 576, 1125, 1152, 2250, 2304, 4500, 9000,
               18000, 36000, 72000, 144000, 288000)


def frame(period, phase, aux):
    period %= MOD
    phase %= MOD
    return bytes([0xFF, 0xFF]) + period.to_bytes(3, "big") + phase.to_bytes(3, "big") + bytes([aux & 0xFF])


def frames(periods, start=0, lag=1000):
    """Frames whose stamps advance by the given periods, phase `lag` ticks behind."""
    out = bytearray()
    stamp = start
    out += frame(stamp, stamp - lag, 0)
    for i, d in enumerate(periods):
        stamp = (stamp + d) % MOD
        out += frame(stamp, stamp - lag, i + 1)
    return bytes(out)


def seeds():
    rng = random.Random(20240607)  # fixed, so the committed files regenerate byte for byte
    yield "empty", b""
    yield "one-byte", b"\xff"
    yield "one-frame", frame(36000, 0, 5)
    yield "two-frames", frame(36000, 0, 5) + frame(72000, 36000, 7)
    yield "steady-5000rpm", frames([7200] * 20)
    yield "wrap", frames([416] * 3, start=MOD - 800)
    yield "wrap-big-step", frame(MOD - 1, 0, 1) + frame(0, MOD - 1, 2) + frame(MOD - 2, 5, 3)
    yield "period-one-and-max", frames([1, MOD - 1, 1, MOD - 1])
    yield "low-periods", frames(LOW_PERIODS)
    for d in LOW_PERIODS:
        yield f"low-period-{d}", frames([d, d])
    yield "zero-period", frames([7200, 7200, 0, 7200])
    yield "zero-period-first-pair", frame(500, 0, 0) + frame(500, 0, 0)
    yield "angle-negative-and-large", frame(0, 0, 0) + frame(36000, 36500, 1) + frame(72000, 0, 2) + frame(108000, MOD - 1, 3)
    yield "garbage-before-sync", bytes([0x01, 0x02, 0xFF, 0x12, 0xFE]) + frames([7200] * 4)
    yield "sync-ff12ffff", bytes([0xFF, 0x12]) + frames([9000] * 3)
    yield "ff-run", b"\xff" * 64
    yield "ff-ff-ff-period", b"\xff\xff\xff\x00\x10\x00\x00\x00\x01" + b"\xff\xff\xff\x00\x20\x00\x00\x00\x02"
    yield "trailing-partial", frames([7200] * 3) + b"\xff\xff\x00\x8c"
    yield "all-ff-stamps", frame(MOD - 1, MOD - 1, 0xFF) * 2 + frame(MOD - 2, MOD - 1, 0xFF)
    yield "random-garbage", bytes(rng.getrandbits(8) for _ in range(512))
    noisy = bytearray(frames([rng.randrange(1, 300000) for _ in range(30)], lag=rng.randrange(MOD)))
    for _ in range(10):
        noisy.insert(rng.randrange(len(noisy)), rng.getrandbits(8))
    yield "frames-with-noise", bytes(noisy)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    for target in TARGETS:
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds():
            with open(os.path.join(folder, name + ".dcc"), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
