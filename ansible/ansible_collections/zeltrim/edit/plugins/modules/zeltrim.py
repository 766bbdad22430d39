#!/usr/bin/python
# -*- coding: utf-8 -*-
# The ZELTRIM module: runs the zeltrim program on the managed host and turns its JSON report
# (/j) into an Ansible result. Its action plugin (plugins/action/zeltrim.py) carries the
# collection's own program to a host that has none.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: zeltrim
short_description: Edit start-up and configuration files with ZELTRIM
version_added: "3.1.0"
description:
  - Runs ZELTRIM on the managed host to carry out an instruction file, or a list of
    instruction lines, on the host's text files. ZELTRIM adds, removes, inserts and swaps
    lines, extends values such as C(PATH=) item by item, fills in C(%VARIABLE%) placeholders and
    deletes strings, in plain, UTF-8, UTF-16 and UTF-32 files alike.
  - A target ZELTRIM cannot edit without losing characters is refused and left unchanged, and
    the task fails with the program's message and the reason. A file whose content would not
    change is not touched at all, so with C(once) a second run of the same task changes nothing.
  - Each target is written through a temporary file beside it and one rename.
  - The program is taken from C(executable) when it is given, else from the host's PATH (the
    C(zeltrim) package, .deb or .rpm); a host with neither that runs x86-64 Linux gets the
    statically linked C(zeltrim) this collection carries, copied into the remote temporary
    folder for the task and removed with it. Nothing is installed on the host.
  - For POSIX managed hosts. Windows hosts need a PowerShell module, which this is not.
options:
  instructions:
    description:
      - Path of an instruction file on the managed host; a relative path is taken from
        C(chdir).
      - Exactly one of C(instructions) and C(commands) is given.
    type: path
  commands:
    description:
      - Instruction lines, such as C(.F /etc/hosts) and C(.I 10.0.0.5 db1), given to ZELTRIM
        on its standard input - a list of lines, or one string (such as a YAML block C(|)) that
        is cut into lines at its line breaks, never at commas.
      - C(.F path) names a target (relative paths are taken from C(chdir)); C(.G path) names
        one to start afresh (made when missing, its old lines replaced by those added);
        C(.I text) adds a line at the end, C(.T text) at the top; C(.R text) removes every line
        equal to it, letter case aside; C(.A line|new) inserts C(new) after every line equal to
        C(line); C(.S line|new) swaps such lines for C(new); C(.C KEY=|text) and
        C(.E KEY=|text) put C(text) at the beginning or the end of the value of every C(KEY=)
        line; C(.V var|value) replaces C(var) everywhere; C(.U start|text) deletes C(text) from
        every line beginning with C(start).
      - Every line is blank or begins with C(.); before anything runs, the task fails for an
        item that holds a line break (CR or LF) and for one that begins otherwise - a mistyped
        or indented command, or a remark line, which an instruction file may hold but
        C(commands) refuses.
      - Exactly one of C(instructions) and C(commands) is given.
    type: raw
  separator:
    description:
      - In C(commands), stands for the field separator of two-part commands (the byte 0x02).
      - Only its first occurrence in the argument is replaced, and only in the lines of the
        two-part commands C(.A), C(.S), C(.C), C(.E), C(.U) and C(.V) (letter in either case),
        so C(.I a|b) adds the line C(a|b) as it is.
    type: str
    default: "|"
  new_file_form:
    description:
      - The line ends the module writes the lines of C(commands) with, which under C(keep_form)
        give a file that C(.G) makes its form. C(unix) (LF) makes it with LF lines and no end
        mark; C(dos) (CR LF) in the program's form, CR LF lines and the end mark 0x1A, as
        DOS and Windows files on a file server have them.
      - A file that exists keeps its own form either way. No effect with C(instructions),
        whose own line ends count.
    type: str
    choices: [unix, dos]
    default: unix
  chdir:
    description:
      - The folder on the host ZELTRIM runs in. Relative paths are taken from it - the
        targets, C(instructions) - and C(validate) runs in it.
      - By default the folder the module runs in.
    type: path
  validate:
    description:
      - A command that checks the new content of each target before it replaces the file, as
        C(ansible.builtin.lineinfile) has it. C(%s), which it must hold, stands for the path of
        a file with that content; the command runs through C(/bin/sh) in C(chdir), its standard
        input from the null device, for example C(visudo -cf %s).
      - When it exits other than 0 the target is left exactly as it was and the task fails
        with the target and the exit code. In check mode it runs on a copy of the new content,
        so check mode shows a failing validation too.
    type: str
  once:
    description:
      - Add no line or C(PATH) item that is there already (ZELTRIM's C(/o)), so that running
        the task again changes nothing. A line that C(once) cannot settle - its addition is
        changed by a later line, or what it looks for is added by one - changes the file on
        every run, and the task warns of it.
    type: bool
    default: true
  keep_form:
    description:
      - Keep each file's own form (C(/k)) - its line ends, CR LF included, and its end mark
        0x1A only where it had one. When false, every line is written with CR LF.
    type: bool
    default: true
  backup:
    description:
      - Keep a copy of each file the task changes, with its content from before the task,
        named as Ansible's file modules name theirs (C(NAME.PID.YYYY-MM-DD@HH:MM:SS~)) so that
        no backup replaces an earlier one; C(backup_file) and C(backup_files) name them.
      - In check mode nothing is copied.
    type: bool
    default: false
  unicode:
    description:
      - Edit UTF-16 and UTF-32 files that hold characters above U+00FF (C(/u)); the
        instruction lines are then UTF-8. Without it such a file is refused.
    type: bool
    default: false
  strict:
    description:
      - Make every problem of the instructions an error that fails the task (C(/s)), such as
        a line with no known command or a two-part command without its separator. When false,
        each problem is given as a warning.
    type: bool
    default: true
  executable:
    description:
      - Path of the ZELTRIM program on the managed host.
      - By default C(zeltrim) found on the host's PATH, else the statically linked one this
        collection carries (x86-64 Linux hosts only), copied into the remote temporary folder.
        The task fails, naming this option and the packages, where neither can run.
    type: path
notes:
  - Check mode runs ZELTRIM with C(/n); nothing is written, and C(changed) says whether any
    file would change.
  - Diff mode (C(--diff)) runs ZELTRIM with C(/d) and shows each changed file's unified diff.
  - ZELTRIM always reports as JSON here (C(/j)); with C(commands) it reads the instructions from
    standard input (C(zeltrim -)), so no instruction file is left on the host.
  - The program's warnings, such as a line C(once) cannot settle, become the task's warnings.
  - The carried program needs a remote temporary folder (C(remote_tmp)) that allows running
    programs; on one mounted C(noexec) the task fails and says so. With C(async) the program is
    never carried, so it must be on the host's PATH or named by C(executable).
  - The collection's archive carries the program only when built by ZELTRIM's build (its
    C(collection) target); a copy made from the source tree alone carries none.
requirements:
  - ZELTRIM 3.1 with the C(/j) report, on the managed host or carried by the collection
attributes:
  check_mode:
    description: Can run in check mode and return changed status prediction without modifying target.
    support: full
  diff_mode:
    description: Will return details on what has changed (or possibly needs changing in check mode), when in diff mode.
    support: full
  platform:
    description: Target OS/families that can be operated against.
    support: full
    platforms: posix
author:
  - The ZELTRIM developers (zeltrim@example.org)
"""

EXAMPLES = r"""
# Windows-style files (CR LF lines, DOS paths) kept on a file server: extend the PATH of every
# AUTOEXEC.BAT once. Run it again and nothing changes; with --check it says what would. Each
# changing run keeps a copy of the old file.
- name: Put C:\TOOLS on the PATH
  zeltrim.edit.zeltrim:
    commands: |
      .F /srv/images/win98/AUTOEXEC.BAT
      .E PATH=|;C:\TOOLS
      .I SET TOOLS=C:\TOOLS,C:\TOOLS\BIN
    backup: true

# A Linux hosts file, edited in its own form with LF line ends.
- name: Point db1 at the new server
  zeltrim.edit.zeltrim:
    commands:
      - .F /etc/hosts
      - .R 10.0.0.5 db1
      - .I 10.0.0.9 db1
  register: hosts_edit

# A sudoers drop-in that must stay valid: a file that visudo refuses is never put in place.
- name: Let the operators restart the web server
  zeltrim.edit.zeltrim:
    commands:
      - .G /etc/sudoers.d/operators
      - .I %operators ALL=(root) /usr/bin/systemctl restart nginx
    validate: /usr/sbin/visudo -cf %s

# A new CONFIG.SYS for a DOS image, made in the program's form (CR LF lines and the end mark).
- name: Start a CONFIG.SYS afresh
  zeltrim.edit.zeltrim:
    commands: [.G CONFIG.SYS, .I FILES=40, .I BUFFERS=20]
    chdir: /srv/images/dos622
    new_file_form: dos

# An instruction file shipped with its files: relative names are taken from chdir.
- name: Carry out the installer's instructions
  zeltrim.edit.zeltrim:
    instructions: INSTALL.ZT
    chdir: /opt/app
    executable: /opt/zeltrim/bin/zeltrim

# A separator of its own for a text that holds a "|".
- name: Swap the pipe line
  zeltrim.edit.zeltrim:
    commands:
      - .F /etc/app/filters.conf
      - .S filter=a|b#filter=a|b|c
    separator: "#"
"""

RETURN = r"""
changed:
  description: Whether any target was changed, or in check mode would be.
  returned: always
  type: bool
msg:
  description:
    - Why the task failed. For each target that failed, ZELTRIM's message (which names it) and
      the system's reason, such as C(No such file or directory) or C(holds a zero byte); then
      the problems of the instructions that belong to no failed target.
    - When the program could not be run, or printed no report, what was tried and how to get
      ZELTRIM onto the host.
  returned: failure
  type: str
  sample: "Error opening file AUTOEXEC.BAT in ZELTRIM.EXE: No such file or directory"
rc:
  description: The exit code of ZELTRIM (0 done, 2 a target failed, 3 check mode and a file would change).
  returned: when ZELTRIM ran
  type: int
  sample: 0
executable:
  description: The program that ran - C(executable), the C(zeltrim) on the host's PATH, or the carried one in the remote temporary folder.
  returned: when ZELTRIM ran
  type: str
  sample: /usr/bin/zeltrim
backup_file:
  description: The path of the backup of the changed file, when C(backup) is true and exactly one file was backed up.
  returned: when one file was backed up
  type: str
  sample: /srv/images/win98/AUTOEXEC.BAT.4711.2026-03-02@10:15:42~
backup_files:
  description: The path of the backup of each changed file, when C(backup) is true, in the order of the targets.
  returned: when ZELTRIM ran and reported
  type: list
  elements: str
  sample: [/srv/images/win98/AUTOEXEC.BAT.4711.2026-03-02@10:15:42~]
program_warnings:
  description:
    - The program's warnings, each also given as a warning of the task (which a registered
      result does not hold), as its report gives them - C(line) (the instruction line, or null),
      C(target) (the target's path, or null) and C(message).
    - Such as a line C(once) cannot settle, so that the file changes on every run.
  returned: when ZELTRIM ran and reported
  type: list
  elements: dict
  sample: [{line: 2, target: null, message: "/o cannot settle this line: line 3 changes what it adds"}]
targets:
  description:
    - One entry per time a target is named, in order, as ZELTRIM's JSON report gives it
      (its schema is C(share/zeltrim/report.schema.json) beside the program).
    - When the target's C(targets[].text_bytes) is C(latin-1), its texts were not UTF-8, and
      every byte is given as the character of the same number.
  returned: when ZELTRIM ran and reported
  type: list
  elements: dict
  contains:
    path:
      description: The target's path as named.
      type: str
      sample: /etc/hosts
    encoding:
      description: C(plain), C(utf-8), C(utf-16le), C(utf-16be), C(utf-32be), or null when the file could not be looked at.
      type: str
      sample: plain
    changed:
      description: Whether this file was changed (in check mode, would be).
      type: bool
    backup:
      description: The path of this file's backup, or null.
      type: str
    error:
      description: Null, or a dict with C(message) (ZELTRIM's own error line) and C(reason) (the system's, or null).
      type: dict
    changes:
      description: One dict per report line, with C(line) (the instruction line), C(command) (its letter), C(action) (such as C(BOTTOM line reads) or C(ALREADY PRESENT line)) and C(text).
      type: list
      elements: dict
      sample: [{line: 3, command: I, action: BOTTOM line reads, text: 10.0.0.9 db1}]
    text_bytes:
      description: C(utf-8), or C(latin-1) when the texts were not UTF-8.
      type: str
      sample: utf-8
    diff:
      description: In diff mode, the unified diff of the file's lines ("" when it does not change).
      type: str
diff:
  description: In diff mode, one entry with the key C(prepared) (the unified diff) per changed file.
  returned: in diff mode, when a file changes
  type: list
  elements: dict
"""

import json
import os
import re
import subprocess
import time

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.common.text.converters import to_bytes, to_text
from ansible.module_utils.six import string_types

# The commands whose argument has two parts, split by the field separator.
TWO_PART = "ASCEUV"
LINE_ENDS = {"unix": "\n", "dos": "\r\n"}
# How to get the program onto a host, after what was tried.
INSTALL = "install the zeltrim package (.deb or .rpm) on the host, or set `executable` to the " \
    "zeltrim program there"
OR_CARRY = "; or leave `executable` out, so that the collection's own zeltrim is carried to an " \
    "x86-64 Linux host without one"
NOEXEC = "the remote temporary folder does not allow running programs (mounted noexec?): " \
    "point remote_tmp at one that does, or "


def instruction_lines(commands):
    """The lines of `commands` (a list, or one string cut at its line breaks), or why not."""
    if isinstance(commands, string_types):
        commands = re.split(r"\r?\n", commands[:-1] if commands.endswith("\n") else commands)
        if commands == [""]:
            commands = []
    if not isinstance(commands, list):
        return None, "commands must be a list of instruction lines or one string of them"
    lines = []
    for number, item in enumerate(commands, 1):
        line = "" if item is None else to_text(item)
        if "\r" in line or "\n" in line:
            return None, "item %d of commands holds a line break" % number
        if line.strip() and not line.startswith("."):
            return None, "item %d of commands is no instruction line: %s" % (number, line)
        lines.append(line)
    return lines, None


def with_separator(line, separator):
    """Puts the byte 0x02 for the first separator in the argument of a two-part command."""
    if len(line) < 2 or line[0] != "." or line[1].upper() not in TWO_PART:
        return line
    return line[:3] + line[3:].replace(separator, "\x02", 1)


def failure_lines(report):
    """The run's error, each failed target's message and reason, and the problems that are not
    the follow-on of a failed target."""
    lines = [report.get("error")]
    failed = set()
    for target in report.get("targets") or []:
        error = target.get("error")
        if error:
            failed.add(target.get("path"))
            reason = error.get("reason")
            lines.append(error.get("message", "") + (": " + reason if reason else ""))
    lines += [p.get("message") for p in report.get("problems") or []
              if p.get("target") is None or p.get("target") not in failed]
    return [line for line in lines if line]


def where(item, source):
    """The place an instruction line stands, as a warning names it."""
    line = item.get("line")
    if line is None:
        return ""
    return "item %d of commands: " % line if source == "-" else "%s:%d: " % (source, line)


def run(args, data, cwd):
    """Runs the program; (exit code, stdout, stderr), or the system's reason it could not run.
    A program that ends without reading its instructions is no failure here: the report it did
    or did not print tells."""
    try:
        process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, cwd=cwd)
        out, err = process.communicate(None if data is None else to_bytes(data))
    except OSError as error:
        return None, None, error.strerror or str(error)
    return process.returncode, to_text(out), to_text(err, errors="replace")


def main():
    module = AnsibleModule(
        argument_spec=dict(
            instructions=dict(type="path"),
            commands=dict(type="raw"),
            separator=dict(type="str", default="|"),
            new_file_form=dict(type="str", default="unix", choices=list(LINE_ENDS)),
            chdir=dict(type="path"),
            validate=dict(type="str"),
            once=dict(type="bool", default=True),
            keep_form=dict(type="bool", default=True),
            backup=dict(type="bool", default=False),
            unicode=dict(type="bool", default=False),
            strict=dict(type="bool", default=True),
            executable=dict(type="path"),
            # Set by the action plugin when `executable` is the copy it carried to the host.
            _carried=dict(type="bool", default=False),
        ),
        mutually_exclusive=[("instructions", "commands")],
        required_one_of=[("instructions", "commands")],
        supports_check_mode=True,
    )
    p = module.params
    if not p["separator"]:
        module.fail_json(msg="separator must not be empty")
    lines = None
    if p["commands"] is not None:
        lines, refusal = instruction_lines(p["commands"])
        if refusal:
            module.fail_json(msg=refusal)
    if p["validate"] is not None and "%s" not in p["validate"]:
        module.fail_json(msg="validate must hold %%s, which stands for the file to check: %s"
                         % p["validate"])
    if p["chdir"] is not None and not os.path.isdir(p["chdir"]):
        module.fail_json(msg="chdir %s is no folder on the host" % p["chdir"])

    executable = p["executable"]
    if p["_carried"]:
        tried = ("the zeltrim the collection carries, copied into the remote temporary folder as "
                 "%s, as the host's PATH has none" % executable)
        how, unrunnable = INSTALL, NOEXEC + INSTALL
    elif executable:
        tried = "executable %s" % executable
        how = unrunnable = INSTALL + OR_CARRY
    else:
        executable = module.get_bin_path("zeltrim")
        if not executable:
            # The action plugin takes this as its cue to carry the collection's own program.
            module.fail_json(msg="no zeltrim on the host's PATH (%s) and no `executable`: %s"
                             % (os.environ.get("PATH", ""), INSTALL), _zeltrim_missing=True)
        tried = "zeltrim on the host's PATH (%s)" % executable
        how = unrunnable = INSTALL

    if lines is not None:
        source = "-"
    elif p["instructions"] == "-":
        source = "./-"  # "-" alone would be standard input
    else:
        source = p["instructions"]
    flags = [(module.check_mode, "/n"), (module._diff, "/d"), (p["strict"], "/s"),
             (p["once"], "/o"), (p["keep_form"], "/k"), (p["unicode"], "/u")]
    args = [executable, source, "/j"] + [flag for wanted, flag in flags if wanted]
    if p["validate"] is not None:
        args.append("--validate=" + p["validate"])
    if p["backup"]:
        # The name module.backup_local gives a copy: the process and the second it is made in.
        args.append("--suffix=.%d.%s" % (os.getpid(), time.strftime("%Y-%m-%d@%H:%M:%S~")))
    data = None
    if lines is not None:
        end = LINE_ENDS[p["new_file_form"]]
        # An empty list still gives the program a (blank) standard input of its own to read.
        data = "".join(with_separator(line, p["separator"]) + end for line in lines) or end

    rc, out, err = run(args, data, p["chdir"])
    if rc is None:
        module.fail_json(msg="ZELTRIM could not be run: tried %s (%s); %s"
                         % (tried, err, unrunnable), cmd=args)
    try:
        report = json.loads(out)
        if not isinstance(report, dict) or report.get("program") != "zeltrim":
            raise ValueError("not a ZELTRIM report")
    except ValueError:
        said = "".join(": " + line for line in err.strip().splitlines()[-1:])
        module.fail_json(msg="ZELTRIM printed no report: tried %s, which ended with exit code %d "
                         "and no JSON report (it is not ZELTRIM 3.1 with /j%s); %s"
                         % (tried, rc, said, how),
                         rc=rc, cmd=args, stdout=out, stderr=err)

    warnings = report.get("warnings") or []
    for warning in warnings:
        module.warn(where(warning, source) + warning.get("message", ""))
    targets = report.get("targets") or []
    # A backup is named as its target was; the result gives it from the root, as the file
    # modules do, so that a later task finds it whatever folder it runs in.
    folder = p["chdir"] or os.getcwd()
    backups = [os.path.join(folder, t["backup"]) for t in targets if t.get("backup")]
    result = dict(changed=any(t.get("changed") for t in targets), rc=rc, executable=executable,
                  targets=targets, backup_files=backups, program_warnings=warnings)
    if len(backups) == 1:
        result["backup_file"] = backups[0]
    if module._diff:
        result["diff"] = [{"prepared": t["diff"]} for t in targets if t.get("diff")]
    if rc == 0 or (rc == 3 and module.check_mode):
        for problem in report.get("problems") or []:
            module.warn(problem.get("message", ""))
        # Ansible takes a result with a non-zero rc for a failure unless it says otherwise.
        module.exit_json(failed=False, **result)
    lines = failure_lines(report) or [err.strip() or "ZELTRIM ended with exit code %d" % rc]
    module.fail_json(msg="\n".join(lines), stderr=err, **result)


if __name__ == "__main__":
    main()
