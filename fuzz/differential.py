#!/usr/bin/env python3
"""Runs random jobs with two builds of ZELTRIM and compares what they print, their exit codes and
the bytes they leave.

    fuzz/differential.py OLD NEW [--jobs N] [--seed S] [--workers W]

OLD and NEW are two zeltrim binaries (say, the program before a change that must not change a
byte, and after it). Each job is an instruction file, one to three targets in every form the
program reads (plain, UTF-8, UTF-16, UTF-32, every kind of line break, end marks, refused
bytes), and a command line of random options, test mode included (its waits are answered from
standard input). The first job that differs is printed with both outcomes, and the run ends
with exit code 1; otherwise the count is printed."""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ProcessPoolExecutor

SEPARATOR = "\x02"
WORDS = ["PATH", "path", "SET PATH", "A", "a", "X", "%V%", "=", "C:\\DOS;", ";", ".", "ab",
         "aab", "", " ", "DOSKEY", "\x1a", "\xe9", "K=V", "\x02", "\r", ":/opt", ",x", "b"]
FEW = ["A", "a", "B", "PATH=", ";A"]
OPTIONS = ["/n", "/d", "/b", "/s", "/o", "/k", "/u", "/t", "--dry-run", "--diff", "--once",
           "--keep-form"]
NAMES = ["T", "U", "V"]


def text(rng, few):
    pool = FEW if few else WORDS
    return "".join(rng.choice(pool) for _ in range(rng.randrange(0 if few else 0, 4)))


def target(rng, few):
    breaks = ["\r\n", "\r\n", "\n", "\r", ""]
    body = "".join(text(rng, few) + rng.choice(breaks) for _ in range(rng.randrange(12 if few else 8)))
    if rng.randrange(3) == 0:
        body += "\x1a" + (text(rng, few) if rng.randrange(3) == 0 else "")
    raw = body.encode("latin-1")
    kind = rng.randrange(7)
    if kind == 0:
        return b"\xef\xbb\xbf" + raw
    if kind == 1:
        return b"\xff\xfe" + b"".join(bytes([c, 0]) for c in raw)
    if kind == 2:
        return b"\xfe\xff" + b"".join(bytes([0, c]) for c in raw)
    if kind == 3 and rng.randrange(2) == 0:
        return b"\x00\x00\xfe\xff" + b"".join(bytes([0, 0, 0, c]) for c in raw)
    if kind == 4 and rng.randrange(4) == 0:
        return raw + b"\x00" + raw  # refused
    return raw


def instructions(rng, few):
    lines = []
    # One job in four substitutes one variable alone, which the program looks for over the
    # lines it reads in whole blocks, not line by line.
    variable = text(rng, few) if rng.randrange(4) == 0 else None
    for _ in range(1 + rng.randrange(12)):
        if rng.randrange(5) == 0:
            lines.append("." + rng.choice("FGfg") + " " + rng.choice(NAMES + ["W"]))
        elif variable is not None:
            lines.append(".V " + variable + SEPARATOR + text(rng, few))
        else:
            letters = "TTTIASRE" if few else "ITRASCEUVXQ"
            line = "." + rng.choice(letters) + rng.choice(" x") + text(rng, few)
            if rng.randrange(4) != 0:
                line += SEPARATOR + text(rng, few)
            lines.append(line)
    if rng.randrange(3) != 0:
        lines.insert(0, ".F " + rng.choice(NAMES))
    end = rng.choice(["\r\n", "\r\n", "\n"])
    return (end.join(lines) + (end if rng.randrange(4) else "")).encode("latin-1")


def job(seed):
    rng = random.Random(seed)
    few = rng.randrange(3) == 0
    files = {"i.zt": instructions(rng, few)}
    for name in NAMES[: 1 + rng.randrange(3)]:
        files[name] = target(rng, few)
    options = [o for o in OPTIONS if rng.randrange(4) == 0]
    if "/t" in options and rng.randrange(2) == 0:
        options.remove("/t")
    rng.shuffle(options)
    return files, ["i.zt"] + options


def outcome(binary, files, arguments, folder):
    os.makedirs(folder)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    keys = b"\n" * 10000  # answers every wait of test mode
    done = subprocess.run([binary] + arguments, cwd=folder, input=keys, capture_output=True,
                          timeout=60)
    left = {}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            left[name] = f.read()
    return done.stdout, done.returncode, left


def compare(task):
    old, new, seed, base = task
    files, arguments = job(seed)
    folder = os.path.join(base, str(seed))
    a = outcome(old, files, arguments, folder + "-old")
    b = outcome(new, files, arguments, folder + "-new")
    shutil.rmtree(folder + "-old")
    shutil.rmtree(folder + "-new")
    if a == b:
        return None
    return seed, files, arguments, a, b


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--jobs", type=int, default=100000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--workers", type=int, default=2)
    args = parser.parse_args()
    base = tempfile.mkdtemp(dir="/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
    tasks = ((os.path.abspath(args.old), os.path.abspath(args.new), args.seed + n, base)
             for n in range(args.jobs))
    compared = 0
    try:
        with ProcessPoolExecutor(args.workers) as pool:
            for found in pool.map(compare, tasks, chunksize=64):
                compared += 1
                if found is not None:
                    seed, files, arguments, a, b = found
                    print("seed %d differs: %s" % (seed, " ".join(arguments)))
                    print("files:", files)
                    print("old:", a)
                    print("new:", b)
                    sys.exit(1)
                if compared % 10000 == 0:
                    print("%d jobs, no difference" % compared, flush=True)
    finally:
        shutil.rmtree(base, ignore_errors=True)
    print("%d jobs compared, no difference" % compared)


if __name__ == "__main__":
    main()
