#!/usr/bin/env python3
"""Times ZELTRIM against GNU sed, perl, grep and a plain copy on the jobs of bench/jobs.py.

Builds ZELTRIM (Release) unless --zeltrim names a binary, writes every job's target and scripts
into a work folder, runs each tool --runs times under /usr/bin/time -v (runs of the tools
interleaved, the target restored and the disk synced before each run, none of that timed),
checks that every tool left exactly the same bytes (or, for ZELTRIM /n, the target untouched
and exit code 3), and prints a table of median wall time and peak memory, followed by the goals
and whether they hold. A job where a tool fails or any result differs is left out of the table
and the others are measured; then it exits 1. A goal missed is only reported. Files of a job
over 64 MiB are removed once all its runs agreed.
"""

import argparse
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
import jobs  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TIME = "/usr/bin/time"
ORIGINAL = "ORIGINAL"
# Left by a run and removed before the next: the copy floor's copy, the new file of a pipeline
# or a filter and the backup of /b (TARGET.bak), so that every run of /b makes its backup afresh.
LEFTOVERS = ("COPY", "NEW", "%s.bak")
MIB = 1024 * 1024


def build(build_dir):
    subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                    "-DZELTRIM_TESTS=OFF", "-DZELTRIM_BENCHMARKS=ON"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "zeltrim"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "zeltrim")


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def prepare(job, folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(folder, ORIGINAL), "wb") as f:
        job.make_target(f)
        size = f.tell()
    for name, data in job.files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    expected = job.expected() if callable(job.expected) else job.expected
    return size, (hashlib.sha256(expected).hexdigest() if expected else None)


def run_once(command, folder, target):
    """Restores the target, then runs the command: (wall seconds, peak KiB, exit code)."""
    shutil.copyfile(os.path.join(folder, ORIGINAL), os.path.join(folder, target))
    for name in LEFTOVERS:
        path = os.path.join(folder, name.replace("%s", target))
        if os.path.exists(path):
            os.remove(path)
    os.sync()  # every run starts with the target in the cache and nothing left to write
    report = os.path.join(folder, "time.txt")
    env = dict(os.environ, LC_ALL="C")
    start = time.perf_counter()
    done = subprocess.run([TIME, "-v", "-o", report] + command, cwd=folder, env=env,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    peak = 0
    with open(report) as f:
        for line in f:
            if "Maximum resident set size" in line:
                peak = int(line.split(":")[1])
    return wall, peak, done.returncode


class Failed(Exception):
    """A tool failed, or its result differs: the job's figures say nothing."""


def check(name, tool, code, folder, target, original, wanted):
    """The bytes the run should have made, once known; raises Failed when the run was wrong."""
    if code != tool.exit_code:
        raise Failed("%s ended with exit code %d, not %d" % (name, code, tool.exit_code))
    if tool.leaves == "copy":
        if digest(os.path.join(folder, "COPY")) != original:
            raise Failed("the copy differs from the target")
        return wanted
    made = digest(os.path.join(folder, "NEW" if tool.leaves == "new" else target))
    if tool.leaves == "original":
        if made != original:
            raise Failed("%s changed the target" % name)
        return wanted
    if made == original:
        raise Failed("%s left the target unchanged" % name)
    if wanted is not None and made != wanted:
        raise Failed("%s made different bytes (see %s)" % (name, folder))
    return made


def longest_line(path):
    """The bytes of the file's longest line, its LF included."""
    longest = current = 0
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            *ended, rest = block.split(b"\n")
            for part in ended:
                longest = max(longest, current + len(part) + 1)
                current = 0
            current += len(rest)
    return max(longest, current)


def measure(job, folder, zeltrim, runs):
    """Runs every tool of the job `runs` times: (target size, name -> [(wall, peak KiB)])."""
    size, wanted = prepare(job, folder)
    results = {name: [] for name in job.tools}
    original = digest(os.path.join(folder, ORIGINAL))
    for _ in range(runs):
        for name, tool in job.tools.items():
            command = [zeltrim if part == "ZELTRIM" else part for part in tool.command]
            wall, peak, code = run_once(command, folder, job.target)
            wanted = check(name, tool, code, folder, job.target, original, wanted)
            results[name].append((wall, peak))
    if job.key in PEAK_BY_INSTRUCTIONS:
        job.extra["longest line"] = longest_line(os.path.join(folder, ORIGINAL))
    # Every tool made the same bytes: the large files have served.
    for name in os.listdir(folder):
        if os.path.getsize(os.path.join(folder, name)) > 64 * MIB:
            os.remove(os.path.join(folder, name))
    return size, results


def median_wall(samples):
    return statistics.median(wall for wall, _ in samples)


def median_peak(samples):
    return statistics.median(peak for _, peak in samples) / 1024


def tool_name(name):
    return name.replace("zeltrim", "ZELTRIM")


def table(measured):
    rows = ["| Job | Tool | Median s | Min s | Max s | Peak MiB | Time / ZELTRIM |",
            "|---|---|---:|---:|---:|---:|---:|"]
    for job, size, results in measured:
        base = median_wall(results["zeltrim"])
        for name, samples in results.items():
            walls = [wall for wall, _ in samples]
            rows.append("| %s (%.1f MiB) | %s | %.3f | %.3f | %.3f | %.1f | %s |" % (
                job.title, size / MIB, tool_name(name),
                statistics.median(walls), min(walls), max(walls), median_peak(samples),
                "1" if name == "zeltrim" else "%.2f" % (median_wall(samples) / base)))
    return "\n".join(rows)


# The goals of the issue: the time against the other tools, the memory whatever the target's
# size, the cost of the options, and how the time grows.
SED_FASTER = {"1": 4, "6": 5, "h1k": 500}
COPY_FLOOR_MOST = {"1": 2.5}
PEAK_MOST_MIB = 32
PEAK_JOBS = ("1", "6", "7", "8")
OPTION_MOST = 1.2
ONE_LINE_MOST_S = 0.25
# A line pays for the commands that can act on it, not for the others: the hosts jobs against
# the 10 .R on the same file, and the pure removals against grep, which looks up all at once.
TEN_COMMANDS = "h10"
AGAINST_TEN_MOST = {"h10k": 3, "h100k": 10, "hmix": 5}
GREP = "grep -v -x -F -f"
GREP_MOST = {"h10k": 10}
# Jobs of many commands, whose memory may grow with the instruction file: at most this many MiB,
# plus 8 bytes per byte of the instruction file, plus the longest line of the target.
PEAK_BY_INSTRUCTIONS = ("h100k", "hprep")
PEAK_BASE_MIB = 32
PEAK_PER_INSTRUCTION_BYTE = 8
# An instruction file of 100,000 lines is read and prepared in this many seconds at most.
PREPARED_MOST_S = {"hprep": 0.2}


def goals(measured):
    """Each goal with its figure, as lines of a list: (lines, True when all hold)."""
    by_key = {job.key: (job, size, results) for job, size, results in measured}
    lines, held = [], True

    def goal(ok, text):
        nonlocal held
        held = held and ok
        lines.append("- [%s] %s" % ("x" if ok else " ", text))

    for key, (job, size, results) in by_key.items():
        z = median_wall(results["zeltrim"])
        if key in SED_FASTER and "sed -i" in results:
            ratio = median_wall(results["sed -i"]) / z
            goal(ratio >= SED_FASTER[key], "job %s: %.2fx faster than GNU sed -i (goal: at least "
                 "%gx)" % (key, ratio, SED_FASTER[key]))
        if key in COPY_FLOOR_MOST and "copy floor" in results:
            ratio = z / median_wall(results["copy floor"])
            goal(ratio <= COPY_FLOOR_MOST[key], "job %s: %.2fx the copy floor (goal: at most %gx)"
                 % (key, ratio, COPY_FLOOR_MOST[key]))
        if key in AGAINST_TEN_MOST and TEN_COMMANDS in by_key:
            ratio = z / median_wall(by_key[TEN_COMMANDS][2]["zeltrim"])
            goal(ratio <= AGAINST_TEN_MOST[key], "job %s: %.2fx the time of job %s (goal: at "
                 "most %gx)" % (key, ratio, TEN_COMMANDS, AGAINST_TEN_MOST[key]))
        if key in GREP_MOST and GREP in results:
            ratio = z / median_wall(results[GREP])
            goal(ratio <= GREP_MOST[key], "job %s: %.2fx the time of %s (goal: at most %gx)"
                 % (key, ratio, GREP, GREP_MOST[key]))
        if key in PEAK_BY_INSTRUCTIONS:
            instructions = len(job.files[jobs.SCRIPT_FILES["zeltrim"]])
            bound = (PEAK_BASE_MIB * MIB + PEAK_PER_INSTRUCTION_BYTE * instructions
                     + job.extra["longest line"]) / MIB
            peak = max(peak for _, peak in results["zeltrim"]) / 1024
            goal(peak <= bound, "job %s: peak memory %.1f MiB with a %.1f MiB instruction file "
                 "(goal: at most %d MiB + %dx its size + the longest line, %.1f MiB)"
                 % (key, peak, instructions / MIB, PEAK_BASE_MIB, PEAK_PER_INSTRUCTION_BYTE,
                    bound))
        if key in PEAK_JOBS:
            # The highest of any run, not the median: the goal is a bound.
            peaks = {name: max(peak for _, peak in samples) / 1024
                     for name, samples in results.items() if name.startswith("zeltrim")}
            worst = max(peaks, key=peaks.get)
            goal(peaks[worst] <= PEAK_MOST_MIB,
                 "job %s: peak memory %.1f MiB for a %.1f MiB target%s (goal: at most %d MiB)"
                 % (key, peaks[worst], size / MIB,
                    "" if len(peaks) == 1 else ", the most of any run with or without the "
                    "options (%s)" % tool_name(worst), PEAK_MOST_MIB))
        for option in jobs.OPTIONS:
            name = "zeltrim " + option
            if name in results:
                ratio = median_wall(results[name]) / z
                goal(ratio <= OPTION_MOST, "job %s with %s: %.2fx the time without it (goal: at "
                     "most %gx)" % (key, option, ratio, OPTION_MOST))
        if key in PREPARED_MOST_S:
            goal(z <= PREPARED_MOST_S[key], "%s: %.3f s (goal: at most %g s)"
                 % (job.title, z, PREPARED_MOST_S[key]))
        if key in ("3v", "3c", "3u"):
            goal(z <= ONE_LINE_MOST_S, "%s: %.3f s (goal: at most %g s)"
                 % (job.title, z, ONE_LINE_MOST_S))
        if job.doubles and job.doubles in by_key:
            half = median_wall(by_key[job.doubles][2]["zeltrim"])
            ratio = z / half
            goal(ratio <= job.growth_limit, "%s: %.2fx the time of half the size (goal: at most "
                 "%gx)" % (job.title, ratio, job.growth_limit))
    return "\n".join(lines), held


def machine():
    cpu = subprocess.run(["sh", "-c", "lscpu | sed -n 's/^Model name: *//p'"],
                         capture_output=True, text=True).stdout.strip()
    return "%s, %d cores; load average %s" % (cpu, os.cpu_count(),
                                              " ".join("%.2f" % x for x in os.getloadavg()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="runs of each tool (default 5)")
    parser.add_argument("--scale", type=float, default=1.0,
                        help="size of every job relative to the issue's (default 1)")
    parser.add_argument("--zeltrim", help="the binary to time (default: build one)")
    parser.add_argument("--build", default=os.path.join(ROOT, "build-bench"),
                        help="build folder (default build-bench)")
    parser.add_argument("--work", help="folder for the inputs (default BUILD/bench-data)")
    parser.add_argument("--only", help="comma-separated job keys, e.g. 1,3v,5-250000")
    parser.add_argument("--markdown", help="also write the table and goals to this file")
    args = parser.parse_args()

    if not os.access(TIME, os.X_OK):
        sys.exit("%s is missing: install the Debian package 'time'" % TIME)
    zeltrim = os.path.abspath(args.zeltrim) if args.zeltrim else build(args.build)
    work = os.path.abspath(args.work or os.path.join(args.build, "bench-data"))
    wanted = set(args.only.split(",")) if args.only else None

    measured, failures = [], []
    print("machine: " + machine(), flush=True)
    for job in jobs.all_jobs(args.scale):
        if wanted is not None and job.key not in wanted:
            continue
        # A job that fails is reported and left out; the others are still measured.
        try:
            size, results = measure(job, os.path.join(work, job.key), zeltrim, args.runs)
        except Failed as failure:
            failures.append("job %s: %s" % (job.key, failure))
            print("%-40s FAILED: %s" % (job.title, failure), flush=True)
            continue
        measured.append((job, size, results))
        print("%-40s ZELTRIM %.3f s" % (job.title, median_wall(results["zeltrim"])), flush=True)

    report = "%s\n\nmachine: %s\n" % (table(measured), machine())
    if failures:
        report += "\nFAILED, left out of the table:\n%s\n" % "\n".join(
            "- " + failure for failure in failures)
    summary, held = goals(measured)
    if args.scale == 1:
        report += "\n%s\n" % summary
        verdict = "goals %s" % ("all hold" if held else "NOT all held")
    else:
        # The figures are worked out all the same, so that a small run tries every step.
        report += "\nnot judged at scale %g (the goals are for full size):\n%s\n" % (
            args.scale, summary)
        verdict = "goals are judged at full size only"
    print("\n" + report)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(report)
    if failures:
        sys.exit("%d job(s) FAILED: a tool ended with an error or made other bytes; %s"
                 % (len(failures), verdict))
    print("every tool made the same bytes; " + verdict)


if __name__ == "__main__":
    main()
