#!/usr/bin/env python3
"""Times ZELTRIM against GNU sed, perl and a plain copy on the jobs of bench/jobs.py.

Builds ZELTRIM (Release) unless --zeltrim names a binary, writes every job's target and scripts
into a work folder, runs each tool --runs times under /usr/bin/time -v (runs of the tools
interleaved, the target restored and the disk synced before each run, none of that timed),
checks that every tool left exactly the same bytes, and prints a table of median wall time and
peak memory, followed by the goals and whether they hold. Exits 1 when any result differs.
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
import jobs  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TIME = "/usr/bin/time"
ORIGINAL = "ORIGINAL"
LEFTOVERS = ("COPY", "NEW")
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
    target = job.make_target()
    with open(os.path.join(folder, ORIGINAL), "wb") as f:
        f.write(target)
    for name, data in job.files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return len(target), (hashlib.sha256(job.expected).hexdigest() if job.expected else None)


def run_once(command, folder):
    """Restores the target, then runs the command: (wall seconds, peak KiB, exit code)."""
    shutil.copyfile(os.path.join(folder, ORIGINAL), os.path.join(folder, jobs.TARGET))
    for name in LEFTOVERS:
        if os.path.exists(os.path.join(folder, name)):
            os.remove(os.path.join(folder, name))
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


def measure(job, folder, zeltrim, runs):
    size, wanted = prepare(job, folder)
    results = {tool: [] for tool in job.tools}
    original = digest(os.path.join(folder, ORIGINAL))
    for _ in range(runs):
        for tool, command in job.tools.items():
            command = [zeltrim if part == "ZELTRIM" else part for part in command]
            wall, peak, code = run_once(command, folder)
            if code != 0:
                sys.exit("job %s: %s ended with exit code %d" % (job.key, tool, code))
            if tool == "copy floor":
                made = digest(os.path.join(folder, "COPY"))
                if made != original:
                    sys.exit("job %s: the copy differs from the target" % job.key)
            else:
                made = digest(os.path.join(folder, jobs.TARGET))
                if made == original:
                    sys.exit("job %s: %s left the target unchanged" % (job.key, tool))
                if wanted is None:
                    wanted = made
                if made != wanted:
                    sys.exit("job %s: %s made different bytes (see %s)"
                             % (job.key, tool, folder))
            results[tool].append((wall, peak))
    return size, results


def median_wall(samples):
    return statistics.median(wall for wall, _ in samples)


def median_peak(samples):
    return statistics.median(peak for _, peak in samples) / 1024


def table(measured):
    rows = ["| Job | Tool | Median s | Min s | Max s | Peak MiB | Time / ZELTRIM |",
            "|---|---|---:|---:|---:|---:|---:|"]
    for job, size, results in measured:
        base = median_wall(results["zeltrim"])
        for tool, samples in results.items():
            walls = [wall for wall, _ in samples]
            rows.append("| %s (%.1f MiB) | %s | %.3f | %.3f | %.3f | %.1f | %s |" % (
                job.title, size / MIB, "ZELTRIM" if tool == "zeltrim" else tool,
                statistics.median(walls), min(walls), max(walls), median_peak(samples),
                "1" if tool == "zeltrim" else "%.2f" % (median_wall(samples) / base)))
    return "\n".join(rows)


def goals(measured):
    """Each goal of the issue with its figure; True when all hold."""
    by_key = {job.key: (job, size, results) for job, size, results in measured}
    lines, held = [], True

    def goal(ok, text):
        nonlocal held
        held = held and ok
        lines.append("- [%s] %s" % ("x" if ok else " ", text))

    if "1" in by_key:
        job, size, results = by_key["1"]
        z = median_wall(results["zeltrim"])
        if "sed -i" in results:
            ratio = median_wall(results["sed -i"]) / z
            goal(ratio >= 3, "job 1: %.2fx faster than GNU sed -i (goal: 3x)" % ratio)
        if "copy floor" in results:
            ratio = z / median_wall(results["copy floor"])
            goal(ratio <= 4, "job 1: %.2fx the copy floor (goal: at most 4x)" % ratio)
        peak = median_peak(results["zeltrim"])
        limit = 2 * size / MIB + 16
        goal(peak <= limit, "job 1: peak memory %.1f MiB for a %.1f MiB target (goal: at most "
             "%.1f MiB)" % (peak, size / MIB, limit))
    for key in ("3v", "3c", "3u"):
        if key in by_key:
            job, _, results = by_key[key]
            z = median_wall(results["zeltrim"])
            goal(z < 1, "%s: %.3f s (goal: under 1 s)" % (job.title, z))
    for job, _, results in measured:
        if job.doubles and job.doubles in by_key:
            half = median_wall(by_key[job.doubles][2]["zeltrim"])
            ratio = median_wall(results["zeltrim"]) / half
            goal(ratio <= 2.2, "%s: %.2fx the time of half the size (goal: at most 2.2x)"
                 % (job.title, ratio))
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

    measured = []
    print("machine: " + machine(), flush=True)
    for job in jobs.all_jobs(args.scale):
        if wanted is not None and job.key not in wanted:
            continue
        size, results = measure(job, os.path.join(work, job.key), zeltrim, args.runs)
        measured.append((job, size, results))
        print("%-40s ZELTRIM %.3f s" % (job.title, median_wall(results["zeltrim"])), flush=True)

    report = "%s\n\nmachine: %s\n" % (table(measured), machine())
    if args.scale == 1:
        summary, held = goals(measured)
        report += "\n%s\n" % summary
        verdict = "goals %s" % ("all hold" if held else "NOT all held")
    else:
        verdict = "goals are judged at full size only"
    print("\n" + report)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(report)
    print("every tool made the same bytes; " + verdict)


if __name__ == "__main__":
    main()
