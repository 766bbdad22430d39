#!/usr/bin/env python3
"""Runs random command lines and jobs with a built ZELTRIM and checks the promises of every run
from the folder's names and bytes before and after it.

    fuzz/promises.py ZELTRIM [--jobs N] [--seed S] [--workers W] [--keep FOLDER] [--skip WHAT]

A quarter of the runs draw a command line that holds a help argument (`?`, `?X`, `/?` or an
empty one), `--help` or none at all, with `/n`, `/N` or `--dry-run` anywhere or nowhere, in a
folder that holds a SAMPLE.ZT of its own and a job: no file but SAMPLE.ZT may change, and under
/n none at all. The others run a job that names a few files up to four times each with .F and
.G in any order (files that exist and files it makes, beside NAME.bak files the user kept,
quoted values, SET and PATH lines, characters above 0x7F, plain, UTF-8 and UTF-16 targets, an
instruction file of bytes, UTF-8 or UTF-16 with its mark), with random options (now and then --suffix, -q, or --validate with a command that always passes
or always fails), most with /j:

- under /n no file changes; else only the files the job names, and a NAME.bak only under /b,
  only beside a file that existed before the run, and only holding what that file held then; a
  file that existed and was replaced under /b has that backup;
- /j prints one JSON document that the shipped schema (share/report.schema.json) takes, whose
  `exit` is the exit code; a file whose bytes changed (under /n: would change, as the same run
  without /n shows) is `changed` in one of its namings, and one that is `changed` in none keeps
  its bytes; `backup` names NAME.bak in one naming at most, only one that is `changed`, only
  under /b beside a file that existed, and one such file replaced has it; the exit code is 2
  where a target has an error, 3 under /n exactly where something would change and nothing
  went wrong, and 0 where nothing went wrong otherwise;
- without /j, the report says BACKUP once at most for each file, as the folder shows;
- a validation command that always fails leaves every file as it was (a file .G made stays
  empty) and makes no backup; one that always passes leaves what the run without it leaves.

The first job that breaks a promise is printed (its seed runs it again alone: --seed S
--jobs 1, and --keep FOLDER leaves its folder there) and the run ends with exit code 1;
otherwise the counts are printed."""

import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ProcessPoolExecutor

import jsonschema

SEPARATOR = "\x02"
NAMES = ["T.INI", "U.BAT", "t.ini", "V.CMD", "W"]
LINES = ['PATH=C:\\WINDOWS', '"Path"="C:\\\\Windows"', 'KEY="a;b"', 'PATH="/usr/bin:/bin"',
         'Q=""', 'SET PATH="C:\\Program Files\\X"', 'export PATH="$HOME/bin:$PATH"',
         "City=Zürich", "Name=José", "[Network]", "Server=old", "@ECHO OFF",
         "SET SERVER=%SERVER%", "path=c:\\dos;c:\\util", "PATH=", "==PATH=A=B", "a", "A", ""]
KEYS = ["PATH=", '"Path"=', "KEY=", "Q=", "SET PATH=", "export PATH=", "path=", "City="]
ADDITIONS = [";C:\\Tools", ":/opt/bin", ";C:\\UTIL;", "C:\\TOOLS", "C:\\UTIL;", " -q", ",x",
             ";a;b", ';"x"', ";Zürich", ":/bin", "é", "", ";", "x."]
OPTIONS = ["/n", "/d", "/b", "/s", "/o", "/k", "/u"]
LONG = {"/n": "--dry-run", "/d": "--diff", "/b": "--backup", "/s": "--strict", "/o": "--once",
        "/k": "--keep-form", "/u": "--unicode", "/j": "--json"}
NO_WRITE = {"/n", "/N", "--dry-run"}
SUFFIXES = ["~", ".BAK", ".orig"]  # what --suffix may give backups in place of .bak
QUIET = ["-q", "/q", "/Q", "--quiet"]
HELP = ["?", "?X", "/?", "", "--help"]
JOB = "EDIT.ZT"
SAMPLE = "SAMPLE.ZT"
USERS_SAMPLE = b"the user's own SAMPLE.ZT\r\n"


def encoded(text, form):
    """The bytes of `text` in one of the forms a file may take."""
    if form == "utf-8":
        return text.encode("utf-8")
    if form == "latin-1":
        return text.encode("latin-1")
    return text.encode(form)  # utf-16-le, utf-16-be


MARKS = {"utf-8": b"\xef\xbb\xbf", "utf-16-le": b"\xff\xfe", "utf-16-be": b"\xfe\xff"}


def target(rng):
    form = rng.choice(["utf-8", "utf-8", "latin-1", "utf-8", "utf-16-le", "utf-16-be"])
    mark = MARKS.get(form, b"") if form != "utf-8" or rng.randrange(2) else b""
    end = rng.choice(["\r\n", "\r\n", "\n"])
    text = "".join(rng.choice(LINES) + end for _ in range(rng.randrange(8)))
    if not form.startswith("utf-16") and rng.randrange(2):
        text += "\x1a"
    return mark + encoded(text, form)


def command(rng):
    letter = rng.choice("IIITRASCCCEEEUV")
    if letter in "ITR":
        return "." + letter + " " + rng.choice(LINES)
    if letter in "AS":
        return "." + letter + " " + rng.choice(LINES) + SEPARATOR + rng.choice(LINES)
    if letter in "CEU":
        return "." + letter + " " + rng.choice(KEYS) + SEPARATOR + rng.choice(ADDITIONS)
    return ".V " + rng.choice(["%SERVER%", "a", "Zü"]) + SEPARATOR + rng.choice(
        ["FILESRV01", "b", "%SERVER%x", "é"])


def job(rng):
    """The folder before the run: the instruction file, targets, NAME.bak files."""
    files = {}
    names = rng.sample(NAMES, 1 + rng.randrange(3))
    for name in names:
        if rng.randrange(3):
            files[name] = target(rng)
        if rng.randrange(2):
            kept = name + rng.choice([".bak", ".bak"] + SUFFIXES)
            files[kept] = b"the user's own copy of " + name.encode() + b"\r\n"
    namings = dict.fromkeys(names, 0)
    lines = []
    for _ in range(1 + rng.randrange(8)):
        name = rng.choice(names)
        if namings[name] == 4:
            continue
        namings[name] += 1
        lines.append(rng.choice([".F ", ".F ", ".G "]) + name)
        lines += [command(rng) for _ in range(rng.randrange(6))]
    end = rng.choice(["\r\n", "\r\n", "\n"])
    text = end.join(lines) + end
    form = rng.choice(["utf-8", "utf-8", "latin-1", "utf-8-mark", "utf-16-le", "utf-16-be"])
    if form == "utf-8-mark":
        files[JOB] = MARKS["utf-8"] + encoded(text, "utf-8")
    else:
        files[JOB] = MARKS.get(form, b"") + encoded(text, form)
    return files, {name for name, count in namings.items() if count > 0}


def job_arguments(rng, skipped):
    """The command line, the options in force (by their short forms), the backups' suffix and
    the validation command; none of the options `skipped` names."""
    chosen = [o for o in OPTIONS if rng.randrange(3) == 0]
    if rng.randrange(4) != 0:
        chosen.append("/j")
    rng.shuffle(chosen)
    before, after = [], []
    for option in chosen:
        spelling = option if rng.randrange(2) else option.upper()
        if rng.randrange(4) == 0:
            before.append(LONG[option])
        elif rng.randrange(3) == 0:
            after.append(LONG[option])
        else:
            after.append(spelling)
    suffix = ".bak"
    if rng.randrange(6) == 0 and "suffix" not in skipped:
        suffix = rng.choice(SUFFIXES)
        before.append("--suffix=" + suffix)
        chosen.append("/b")  # --suffix brings /b
    if rng.randrange(6) == 0 and "quiet" not in skipped:
        after.append(rng.choice(QUIET))
    validate = None
    if rng.randrange(8) == 0 and "validate" not in skipped:
        validate = rng.choice(["true %s", "false %s"])
        before.append("--validate=" + validate)
    return before + [JOB] + after, set(chosen), suffix, validate


def help_arguments(rng):
    arguments = [JOB] if rng.randrange(2) else []
    arguments += [rng.choice(HELP) for _ in range(rng.randrange(3))]
    if arguments and not set(arguments) & set(HELP):
        arguments.append(rng.choice(HELP))
    arguments += [rng.choice(["/n", "/N", "--dry-run"]) for _ in range(rng.randrange(3))]
    arguments += [rng.choice(["/d", "/b", "/t", "--test", "EXTRA"]) for _ in range(rng.randrange(2))]
    rng.shuffle(arguments)
    return arguments


def snapshot(folder):
    files = {}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            files[name] = f.read()
    return files


def run(binary, files, arguments, folder):
    if os.path.exists(folder):
        shutil.rmtree(folder)
    os.makedirs(folder)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    done = subprocess.run([binary] + arguments, cwd=folder, input=b"\n" * 64, capture_output=True,
                          timeout=60)
    return done, snapshot(folder)


class Broken(Exception):
    pass


def folder_rules(before, after, named, backup, no_write, suffix):
    """The promises of /n and /b, from the folder before and after the run."""
    for name in before:
        if name not in after:
            raise Broken("a file vanished: %s" % name)
    for name, data in after.items():
        if before.get(name) == data:
            continue
        if no_write:
            raise Broken("a file changed under /n: %s" % name)
        if name in named:
            continue
        base = name[:-len(suffix)]
        if not name.endswith(suffix) or base not in named:
            if ".zeltrim-" in name:
                raise Broken("a temporary file was left: %s" % name)
            raise Broken("an unnamed file changed: %s" % name)
        if not backup:
            raise Broken("a backup was made without /b: %s" % name)
        if base not in before:
            raise Broken("a file the run made got a backup: %s" % name)
        if data != before[base]:
            raise Broken("%s does not hold what %s held before the run" % (name, base))
    if backup and not no_write:
        for name in named:
            if name in before and after[name] != before[name] and name + suffix not in named:
                if after.get(name + suffix) != before[name]:
                    raise Broken("%s was replaced under /b without a backup of it" % name)


def report_rules(report, code, before, after, named, options, suffix):
    """The promises of /j, from the document, the exit code and the folder."""
    no_write, backup = "/n" in options, "/b" in options
    if report["exit"] != code:
        raise Broken("the report says exit %d, the run ended with %d" % (report["exit"], code))
    by_path = {}
    for entry in report["targets"]:
        path = entry["path"].encode(entry["text_bytes"]).decode("latin-1")
        by_path.setdefault(path, []).append(entry)
    errors = any(entry["error"] is not None for entry in report["targets"])
    for path, entries in by_path.items():
        if path not in named:
            raise Broken("the report names a target the job does not: %r" % path)
        changed = any(entry["changed"] for entry in entries)
        differs = before.get(path) != after.get(path)
        made_empty = path not in before and after.get(path) == b""
        if differs and not changed and not made_empty:
            raise Broken("%s changed, and no naming of it says changed" % path)
        if changed and not differs and len(entries) == 1:
            raise Broken("%s is said to change, and its bytes did not" % path)
        kept = [entry for entry in entries if entry["backup"] is not None]
        if len(kept) > 1:
            raise Broken("%s has a backup in %d namings" % (path, len(kept)))
        for entry in kept:
            if entry["backup"].encode(entry["text_bytes"]).decode("latin-1") != path + suffix:
                raise Broken("%s's backup is named %r" % (path, entry["backup"]))
            if not entry["changed"] or no_write or not backup or path not in before:
                raise Broken("%s has a backup where none may be made" % path)
            if after.get(path + suffix) != before[path]:
                raise Broken("%s's backup does not hold what it held before the run" % path)
        failed = any(entry["error"] is not None for entry in entries)
        if (backup and not no_write and path in before and after[path] != before[path]
                and not kept and not failed):
            raise Broken("%s was replaced under /b and the report names no backup" % path)
    any_changed = any(entry["changed"] for entry in report["targets"])
    if errors and code != 2:
        raise Broken("a target has an error and the exit code is %d" % code)
    if code == 3 and (not no_write or not any_changed or errors):
        raise Broken("exit code 3 where it does not belong")
    clean = not errors and report["error"] is None and not report["problems"]
    if clean and no_write and code != (3 if any_changed else 0):
        raise Broken("under /n, %s would change, and the exit code is %d"
                     % ("something" if any_changed else "nothing", code))
    if clean and not no_write and code != 0:
        raise Broken("nothing went wrong, and the exit code is %d" % code)


def validation_refused(before, after, named):
    """A validation command that fails leaves every target as it was: one that existed keeps its
    bytes, one that .G made stays empty, and no backup is made."""
    for name, data in after.items():
        if before.get(name, b"" if name in named else None) != data:
            raise Broken("%s changed although every validation failed" % name)


def backup_lines(stdout, before, after, suffix):
    """Without /j: BACKUP at most once for each file, and as the folder shows."""
    said = {}
    for line in stdout.split(b"\n"):
        if line.startswith(b"  BACKUP of old file kept as : "):
            name = line.split(b" : ", 1)[1].rstrip(b"\r").decode("latin-1")
            said[name] = said.get(name, 0) + 1
    for name, count in said.items():
        if count > 1:
            raise Broken("BACKUP %s is said %d times" % (name, count))
        target = name[:-len(suffix)]
        if not name.endswith(suffix) or after.get(name) != before.get(target) or target not in before:
            raise Broken("BACKUP %s is said, and it does not hold the old content" % name)


def check(task):
    binary, schema, seed, base, keep, skipped = task
    rng = random.Random(seed)
    files, named = job(rng)
    folder = keep or os.path.join(base, str(seed))
    kind = "help" if rng.randrange(4) == 0 and "help" not in skipped else "job"
    try:
        if kind == "help":
            files[SAMPLE] = USERS_SAMPLE
            arguments = help_arguments(rng)
            done, after = run(binary, files, arguments, folder)
            changed = {name for name in set(files) | set(after) if files.get(name) != after.get(name)}
            if any(argument in NO_WRITE for argument in arguments) and changed:
                raise Broken("a help screen under /n changed %s" % sorted(changed))
            if changed - {SAMPLE}:
                raise Broken("a help screen changed %s" % sorted(changed - {SAMPLE}))
            return None, kind, set()
        arguments, options, suffix, validate = job_arguments(rng, skipped)
        done, after = run(binary, files, arguments, folder)
        folder_rules(files, after, named, "/b" in options, "/n" in options, suffix)
        if validate == "false %s":
            validation_refused(files, after, named)
        elif validate is not None:
            unchecked = [a for a in arguments if not a.startswith("--validate=")]
            if run(binary, files, unchecked, folder + "-written")[1] != after:
                raise Broken("a validation command that passes changed what the run wrote")
        if "/j" not in options:
            backup_lines(done.stdout, files, after, suffix)
            return None, kind, options
        if not done.stdout.endswith(b"\n") or done.stdout.count(b"\n") != 1:
            raise Broken("/j printed more or less than one line")
        report = json.loads(done.stdout)
        errors = sorted(jsonschema.Draft202012Validator(schema).iter_errors(report), key=str)
        if errors:
            raise Broken("the report does not follow the schema: %s" % errors[0].message)
        would = after
        if "/n" in options:
            writing = [a for a in arguments if a not in NO_WRITE]
            would = run(binary, files, writing, folder + "-written")[1]
        report_rules(report, done.returncode, files, would, named, options, suffix)
        return None, kind, options
    except Broken as broken:
        return (seed, arguments, files, str(broken)), kind, set()
    except subprocess.TimeoutExpired:
        return (seed, arguments, files, "the run did not end"), kind, set()
    finally:
        if not keep:
            shutil.rmtree(folder, ignore_errors=True)
            shutil.rmtree(folder + "-written", ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary")
    parser.add_argument("--jobs", type=int, default=10000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--keep", help="the folder to leave the (one) job in")
    parser.add_argument("--skip", default="",
                        help="what not to draw, while its fix is on its way: help, suffix, quiet, "
                             "validate (separated by commas)")
    parser.add_argument("--schema", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                         "..", "share", "report.schema.json"))
    args = parser.parse_args()
    with open(args.schema) as f:
        schema = json.load(f)
    base = tempfile.mkdtemp(dir="/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
    keep = os.path.abspath(args.keep) if args.keep else None
    skipped = set(args.skip.split(",")) - {""}
    tasks = ((os.path.abspath(args.binary), schema, args.seed + n, base, keep, skipped)
             for n in range(args.jobs))
    counts = {"help": 0, "job": 0, "/n": 0, "/b": 0, "/j": 0}
    try:
        with ProcessPoolExecutor(args.workers) as pool:
            for found, kind, options in pool.map(check, tasks, chunksize=16):
                if found is not None:
                    seed, arguments, files, what = found
                    print("seed %d breaks a promise: %s" % (seed, what))
                    print("command line:", ["zeltrim"] + arguments)
                    for name, data in sorted(files.items()):
                        print("  %s: %r" % (name, data))
                    print("again: %s %s --seed %d --jobs 1 --keep FOLDER"
                          % (sys.argv[0], args.binary, seed))
                    sys.exit(1)
                counts[kind] += 1
                for option in ("/n", "/b", "/j"):
                    counts[option] += option in options
    finally:
        shutil.rmtree(base, ignore_errors=True)
    print("%d runs, every promise kept: %d help screens, %d jobs (%d under /n, %d under /b, "
          "%d /j reports valid)" % (counts["help"] + counts["job"], counts["help"], counts["job"],
                                    counts["/n"], counts["/b"], counts["/j"]))


if __name__ == "__main__":
    main()
