#!/usr/bin/env python3
"""Times ZELTRIM against GNU sed, sd, perl, grep, GNU diff and a plain copy on the jobs of
bench/jobs.py.

Builds ZELTRIM (Release) unless --zeltrim names a binary, and at full size the round-2 program
beside it from the history, writes every job's targets and scripts into a work folder, runs each
tool --runs times under /usr/bin/time -v (runs of the tools interleaved, the targets restored and
the disk synced before each run, none of that timed), checks that every tool left exactly the
same bytes (or, for ZELTRIM /n, the target untouched and exit code 3), and prints a table of
median wall time and peak memory, followed by the goals and whether they hold. A tool the binary
cannot run (its --quiet, where it has none; the round-2 program, where it cannot be built) is
left out, saying why, and so are the goals that need it. A job where a tool fails or any result
differs is left out of the table and the others are measured; then it exits 1. A goal missed is
only reported. Files of a job over 64 MiB are removed once all its runs agreed.
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
    size = 0
    if job.make_target:
        with open(os.path.join(folder, ORIGINAL), "wb") as f:
            job.make_target(f)
            size = f.tell()
    for name, data in job.files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    expected = job.expected() if callable(job.expected) else job.expected
    return size, (hashlib.sha256(expected).hexdigest() if expected else None)


def restore(folder, target, originals):
    """Puts back the target from ORIGINAL, or each of `originals` (name -> bytes), and removes
    what a run left beside them."""
    if originals:
        for name, data in originals.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        target = None
    else:
        shutil.copyfile(os.path.join(folder, ORIGINAL), os.path.join(folder, target))
    for name in LEFTOVERS:
        if target or "%s" not in name:
            path = os.path.join(folder, name.replace("%s", target or ""))
            if os.path.exists(path):
                os.remove(path)


def run_once(command, folder, target, originals=None):
    """Restores the targets, then runs the command: (wall seconds, peak KiB, exit code)."""
    restore(folder, target, originals)
    os.sync()  # every run starts with the targets in the cache and nothing left to write
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


def targets_digest(folder, job, originals):
    """The digest of the job's target, or of all its targets, names included."""
    if not originals:
        return digest(os.path.join(folder, job.target))
    h = hashlib.sha256()
    for name in originals:
        h.update(name.encode() + b"\0" + digest(os.path.join(folder, name)).encode())
    return h.hexdigest()


def check(name, tool, code, folder, job, originals, original, wanted):
    """The bytes the run should have made, once known; raises Failed when the run was wrong."""
    if code != tool.exit_code:
        raise Failed("%s ended with exit code %d, not %d" % (name, code, tool.exit_code))
    if tool.leaves == "copy":
        if digest(os.path.join(folder, "COPY")) != original:
            raise Failed("the copy differs from the target")
        return wanted
    if tool.leaves == "new":
        made = digest(os.path.join(folder, "NEW"))
    else:
        made = targets_digest(folder, job, originals)
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


def measure(job, folder, binaries, runs):
    """Runs every tool of the job that `binaries` (a name in a command -> the binary) can run
    `runs` times: (target size, name -> [(wall, peak KiB)])."""
    size, wanted = prepare(job, folder)
    originals = job.many() if job.many else None
    if originals:
        size = sum(len(data) for data in originals.values())
        restore(folder, None, originals)
    results = {name: [] for name in job.tools}
    original = (targets_digest(folder, job, originals) if originals
                else digest(os.path.join(folder, ORIGINAL)))
    for _ in range(runs):
        for name, tool in job.tools.items():
            command = [binaries.get(part, part) for part in tool.command]
            wall, peak, code = run_once(command, folder, job.target, originals)
            wanted = check(name, tool, code, folder, job, originals, original, wanted)
            results[name].append((wall, peak))
            edited = os.path.join(folder, jobs.EDITED)
            if job.keep_edited and tool.leaves == "edited" and not os.path.exists(edited):
                shutil.copyfile(os.path.join(folder, job.target), edited)
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


def first(results):
    """The job's first ZELTRIM run, the one the others are set against."""
    return median_wall(next(iter(results.values())))


def table(measured):
    rows = ["| Job | Tool | Median s | Min s | Max s | Peak MiB | Time / ZELTRIM |",
            "|---|---|---:|---:|---:|---:|---:|"]
    for job, size, results in measured:
        base = first(results)
        for k, (name, samples) in enumerate(results.items()):
            walls = [wall for wall, _ in samples]
            rows.append("| %s (%.1f MiB) | %s | %.3f | %.3f | %.3f | %.1f | %s |" % (
                job.title, size / MIB, tool_name(name),
                statistics.median(walls), min(walls), max(walls), median_peak(samples),
                "1" if k == 0 else "%.2f" % (median_wall(samples) / base)))
    return "\n".join(rows)


# The goals of the issues: the time against the other tools, the memory whatever the target's
# size, the cost of the options, and how the time grows.
SED_FASTER = {"1": 4, "6": 5, "h1k": 500}
# sed -i followed by the sync of the file, so with the durability ZELTRIM gives.
SED_SYNC = "sed -i + sync"
SED_SYNC_FASTER = {"1": 6}
PEAK_MOST_MIB = 32
PEAK_JOBS = ("1", "6", "7", "8")
# Test mode's memory too, on job 1's target and commands.
TEST_MODE_PEAK = ("t1m", "zeltrim /t")
# What an option may cost against the same run without it; /d is set against GNU diff instead.
OPTION_MOST = 1.2
OPTION_JOBS = ("1", "6")
AGAINST_DIFF = ("/d", "diff -u")
DIFF_SHARE_MOST = 0.5
PAIRED_RUNS_LEAST = 9
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
# An instruction file of 100,000 lines read and prepared, under /o checked as a whole too, by
# this run of the job in this many seconds at most.
PREPARED_MOST_S = {"hprep": ("zeltrim /o", 0.3)}
# ZELTRIM's runs set against sd's on one command: (ZELTRIM's run, what it is, at most this many
# times the time of sd followed by the sync of the file).
SD_SYNC = "sd + sync"
AGAINST_SD = {"1v": [("zeltrim --quiet", ".V under --quiet", 1),
                     ("zeltrim", ".V with its report", 1.2)],
              "1u": [("zeltrim --quiet", ".U under --quiet", 1)]}
# The job of this many files at most as long as one sed -i on all of them and one sync, and as
# many times the time of the job of a tenth of the files.
MANY_FILES = "m10k"
TENTH = ("m1k", 11)
# Test mode: many commands that meet no line cost little more than one.
TEST_MODE = ("t20", 1.2)


def goals(measured, skipped):
    """Each goal with its figure, as lines of a list: (lines, True when all that were judged
    hold, how many could not be judged). `skipped`: job key -> {tool name: why it did not run}."""
    by_key = {job.key: (job, size, results) for job, size, results in measured}
    lines, held, unjudged = [], True, 0

    def goal(ok, text):
        nonlocal held
        held = held and ok
        lines.append("- [%s] %s" % ("x" if ok else " ", text))

    def not_judged(text, why):
        nonlocal unjudged
        unjudged += 1
        lines.append("- [-] %s: not judged, %s" % (text, why))

    def ran(key, name, text):
        """True when the job's tool ran; else the goal is listed as not judged, saying why."""
        if name in by_key[key][2]:
            return True
        why = skipped.get(key, {}).get(name)
        if why:
            not_judged(text, "%s skipped: %s" % (tool_name(name), why))
        return False

    for key, (job, size, results) in by_key.items():
        z = first(results)
        if key in SED_FASTER and "sed -i" in results:
            ratio = median_wall(results["sed -i"]) / z
            goal(ratio >= SED_FASTER[key], "job %s: %.2fx faster than GNU sed -i (goal: at least "
                 "%gx)" % (key, ratio, SED_FASTER[key]))
        if key in SED_SYNC_FASTER and SED_SYNC in results:
            ratio = median_wall(results[SED_SYNC]) / z
            goal(ratio >= SED_SYNC_FASTER[key], "job %s: %.2fx faster than GNU sed -i followed by "
                 "sync FILE (goal: at least %gx)" % (key, ratio, SED_SYNC_FASTER[key]))
        if key == "1" and ran(key, jobs.ROUND2, "job 1: at most the time of the " + jobs.ROUND2
                               + " program"):
            before = median_wall(results[jobs.ROUND2])
            goal(z <= before, "job 1: %.3f s, the %s program %.3f s: %.2fx (goal: at most 1x)"
                 % (z, jobs.ROUND2, before, z / before))
        for name, what, most in AGAINST_SD.get(key, ()):
            text = "job %s: %s at most %gx the time of sd followed by sync FILE" % (key, what, most)
            if ran(key, name, text) and SD_SYNC in results:
                ratio = median_wall(results[name]) / median_wall(results[SD_SYNC])
                goal(ratio <= most, "job %s: %s %.3f s, %.2fx the time of sd followed by sync FILE"
                     " (%.3f s; goal: at most %gx)" % (key, what, median_wall(results[name]), ratio,
                                                      median_wall(results[SD_SYNC]), most))
        option, diff = AGAINST_DIFF
        if "zeltrim " + option in results and diff in results:
            # Each run of /d against the run without it in the same round of the runs.
            added = statistics.median(d - p for (d, _), (p, _) in
                                      zip(results["zeltrim " + option], results["zeltrim"]))
            share = added / median_wall(results[diff])
            text = ("job %s: %s adds %.3f s (median of %d paired differences), %.2fx the time of "
                    "%s on the same pair of files (%.3f s; goal: at most %gx)"
                    % (key, option, added, len(results[diff]), share, diff,
                       median_wall(results[diff]), DIFF_SHARE_MOST))
            if len(results[diff]) < PAIRED_RUNS_LEAST:
                not_judged(text, "it needs at least %d runs" % PAIRED_RUNS_LEAST)
            else:
                goal(share <= DIFF_SHARE_MOST, text)
        if key in AGAINST_TEN_MOST and TEN_COMMANDS in by_key:
            ratio = z / first(by_key[TEN_COMMANDS][2])
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
            peak = max(peak for name, samples in results.items() if name.startswith("zeltrim")
                       for _, peak in samples) / 1024
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
        if key == TEST_MODE_PEAK[0]:
            peak = max(peak for _, peak in results[TEST_MODE_PEAK[1]]) / 1024
            goal(peak <= PEAK_MOST_MIB, "job %s: peak memory of test mode %.1f MiB for a %.1f MiB "
                 "target (goal: at most %d MiB)" % (key, peak, size / MIB, PEAK_MOST_MIB))
        for option in jobs.OPTIONS:
            name = "zeltrim " + option
            if key in OPTION_JOBS and option != AGAINST_DIFF[0] and name in results:
                ratio = median_wall(results[name]) / z
                goal(ratio <= OPTION_MOST, "job %s with %s: %.2fx the time without it (goal: at "
                     "most %gx)" % (key, option, ratio, OPTION_MOST))
        if key in PREPARED_MOST_S:
            name, most = PREPARED_MOST_S[key]
            wall = median_wall(results[name])
            goal(wall <= most, "%s, %s: %.3f s (goal: at most %g s)"
                 % (job.title, tool_name(name), wall, most))
        if key in ("3v", "3c", "3u"):
            goal(z <= ONE_LINE_MOST_S, "%s: %.3f s (goal: at most %g s)"
                 % (job.title, z, ONE_LINE_MOST_S))
        if job.doubles and job.doubles in by_key:
            half = first(by_key[job.doubles][2])
            ratio = z / half
            goal(ratio <= job.growth_limit, "%s: %.2fx the time of half the size (goal: at most "
                 "%gx)" % (job.title, ratio, job.growth_limit))
        if key == MANY_FILES and SED_SYNC in results:
            ratio = z / median_wall(results[SED_SYNC])
            goal(ratio <= 1, "%s: %.3f s, %.2fx the time of one sed -i on all the files followed "
                 "by one sync (goal: at most 1x)" % (job.title, z, ratio))
        if key == MANY_FILES and TENTH[0] in by_key:
            ratio = z / first(by_key[TENTH[0]][2])
            goal(ratio <= TENTH[1], "%s: %.2fx the time of job %s, a tenth of the files (goal: at "
                 "most %gx)" % (job.title, ratio, TENTH[0], TENTH[1]))
        if key == TEST_MODE[0]:
            # Test mode with one command and with many, then the same two without /t.
            names = list(results)
            one, many, plain_one, plain_many = (median_wall(results[name]) for name in names)
            goal(many / one <= TEST_MODE[1], "%s: %s %.2fx the time of %s, without /t %.2fx "
                 "(goal: at most %gx)" % (job.title, tool_name(names[1]), many / one,
                                          tool_name(names[0]), plain_many / plain_one,
                                          TEST_MODE[1]))
    return "\n".join(lines), held, unjudged


def machine():
    cpu = subprocess.run(["sh", "-c", "lscpu | sed -n 's/^Model name: *//p'"],
                         capture_output=True, text=True).stdout.strip()
    return "%s, %d cores; load average %s" % (cpu, os.cpu_count(),
                                              " ".join("%.2f" % x for x in os.getloadavg()))


# What each need of a tool stands for, in the notes of what was skipped.
NEEDS = {"quiet": "the runs with --quiet", "round 2": "the %s program" % jobs.ROUND2}


def has_quiet(zeltrim, work):
    """False when the binary refuses --quiet as an unknown option (exit code 1)."""
    folder = os.path.join(work, "probe")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(folder, "PROBE.TXT"), "wb") as f:
        f.write(b"line\r\n")
    with open(os.path.join(folder, "PROBE.ZT"), "wb") as f:
        f.write(b".F PROBE.TXT\r\n.R no such line\r\n")
    done = subprocess.run([zeltrim, "--quiet", "PROBE.ZT"], cwd=folder, stdin=subprocess.DEVNULL,
                          capture_output=True)
    shutil.rmtree(folder, ignore_errors=True)
    return not (done.returncode == 1 and b"--quiet" in done.stderr)


def build_round2(work):
    """The round-2 program built from the history into the work folder (Release, as today's):
    (its path, None), or (None, why there is none)."""
    git = ["git", "-C", ROOT]
    shallow = subprocess.run(git + ["rev-parse", "--is-shallow-repository"],
                             capture_output=True, text=True)
    if shallow.returncode != 0:
        return None, "the source is no git clone"
    if shallow.stdout.strip() != "false":
        return None, "the clone is shallow"
    commit = jobs.ROUND2_COMMIT
    if subprocess.run(git + ["cat-file", "-e", commit + "^{commit}"],
                      stderr=subprocess.DEVNULL).returncode != 0:
        return None, "the history holds no commit %s" % commit
    folder = os.path.join(work, "round2-" + commit)
    source, build_dir = os.path.join(folder, "source"), os.path.join(folder, "build")
    # Unpacked once; a folder without the mark of a finished unpacking is made again.
    done = os.path.join(folder, "unpacked")
    try:
        if not os.path.exists(done):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(source)
            archive = os.path.join(folder, "source.tar")
            subprocess.run(git + ["archive", "--format=tar", "-o", archive, commit], check=True)
            subprocess.run(["tar", "-xf", archive, "-C", source], check=True)
            os.remove(archive)
            open(done, "w").close()
        print("building the %s program in %s" % (jobs.ROUND2, build_dir), flush=True)
        subprocess.run(["cmake", "-S", source, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                        "-DZELTRIM_TESTS=OFF", "-DZELTRIM_WERROR=OFF"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "zeltrim"],
                       check=True, stdout=subprocess.DEVNULL)
    except subprocess.CalledProcessError as error:
        return None, "its build failed (%s)" % " ".join(error.cmd[:2])
    return os.path.join(build_dir, "zeltrim"), None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="runs of each tool (default 5)")
    parser.add_argument("--scale", type=float, default=1.0,
                        help="size of every job relative to the issue's (default 1)")
    parser.add_argument("--zeltrim", help="the binary to time (default: build one)")
    parser.add_argument("--round2", help="the %s program to time beside it (default: built "
                        "from the history at full size)" % jobs.ROUND2)
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
    os.makedirs(work, exist_ok=True)
    wanted = set(args.only.split(",")) if args.only else None
    chosen = [job for job in jobs.all_jobs(args.scale) if wanted is None or job.key in wanted]

    # What a tool may need that is not to be had: why not, by need.
    binaries, missing = {"ZELTRIM": zeltrim}, {}
    needed = {tool.needs for job in chosen for tool in job.tools.values()}
    if "quiet" in needed and not has_quiet(zeltrim, work):
        missing["quiet"] = "the program has no --quiet"
    if "round 2" not in needed:
        pass  # nothing to build
    elif args.round2:
        binaries[jobs.ROUND2_ZELTRIM] = os.path.abspath(args.round2)
    elif args.scale != 1:
        missing["round 2"] = "not built at --scale"
    else:
        binaries[jobs.ROUND2_ZELTRIM], why = build_round2(work)
        if why:
            missing["round 2"] = why
    for need, why in missing.items():
        print("note: %s skipped: %s" % (NEEDS[need], why), flush=True)

    measured, failures, skipped = [], [], {}
    print("machine: " + machine(), flush=True)
    for job in chosen:
        for name, tool in list(job.tools.items()):
            if tool.needs in missing:
                del job.tools[name]
                skipped.setdefault(job.key, {})[name] = missing[tool.needs]
                print("%-40s %s skipped: %s" % (job.title, tool_name(name), missing[tool.needs]),
                      flush=True)
        # A job that fails is reported and left out; the others are still measured.
        try:
            size, results = measure(job, os.path.join(work, job.key), binaries, args.runs)
        except Failed as failure:
            failures.append("job %s: %s" % (job.key, failure))
            print("%-40s FAILED: %s" % (job.title, failure), flush=True)
            continue
        measured.append((job, size, results))
        print("%-40s %s %.3f s" % (job.title, tool_name(next(iter(results))), first(results)),
              flush=True)

    report = "%s\n\nmachine: %s\n" % (table(measured), machine())
    if failures:
        report += "\nFAILED, left out of the table:\n%s\n" % "\n".join(
            "- " + failure for failure in failures)
    summary, held, unjudged = goals(measured, skipped)
    if args.scale == 1:
        report += "\n%s\n" % summary
        verdict = "goals %s" % ("all hold" if held else "NOT all held")
        if unjudged:
            verdict += " (%d not judged, marked [-])" % unjudged
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
