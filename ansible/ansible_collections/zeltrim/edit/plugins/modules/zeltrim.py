#!/usr/bin/python
# -*- coding: utf-8 -*-
# The ZELTRIM module: runs the zeltrim program on the managed host and turns its JSON report
# (/j) into an Ansible result.

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
    the task fails with the program's message. A file whose content would not change is not
    touched at all, so with C(once) a second run of the same task changes nothing.
  - Each target is written through a temporary file beside it and one rename.
  - The program must be on the host (the C(zeltrim) package); nothing else is installed there.
  - For POSIX managed hosts. Windows hosts need a PowerShell module, which this is not.
options:
  instructions:
    description:
      - Path of an instruction file on the managed host.
      - Exactly one of C(instructions) and C(commands) is given.
    type: path
  commands:
    description:
      - Instruction lines, such as C(.F /etc/hosts) and C(.I 10.0.0.5 db1), given to ZELTRIM
        on its standard input, one per line.
      - C(.F path) names a target (use absolute paths); C(.I text) adds a line at the end,
        C(.T text) at the top; C(.R text) removes every line equal to it, letter case aside;
        C(.A line|new) inserts C(new) after every line equal to C(line); C(.S line|new) swaps
        such lines for C(new); C(.C KEY=|text) and C(.E KEY=|text) put C(text) at the beginning
        or the end of the value of every C(KEY=) line; C(.V var|value) replaces C(var)
        everywhere; C(.U start|text) deletes C(text) from every line beginning with C(start).
      - Exactly one of C(instructions) and C(commands) is given.
    type: list
    elements: str
  separator:
    description:
      - In C(commands), stands for the field separator of two-part commands (the byte 0x02).
      - Only its first occurrence in the argument is replaced, and only in the lines of the
        two-part commands C(.A), C(.S), C(.C), C(.E), C(.U) and C(.V) (letter in either case),
        so C(.I a|b) adds the line C(a|b) as it is.
    type: str
    default: "|"
  once:
    description:
      - Add no line or C(PATH) item that is there already (ZELTRIM's C(/o)), so that running
        the task again changes nothing.
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
      - Keep the old content of each replaced file as C(NAME.bak) (C(/b)); C(backup_files)
        lists them.
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
      - By default C(zeltrim) found on the PATH.
    type: path
notes:
  - Check mode runs ZELTRIM with C(/n); nothing is written, and C(changed) says whether any
    file would change.
  - Diff mode (C(--diff)) runs ZELTRIM with C(/d) and shows each changed file's unified diff.
  - ZELTRIM always reports as JSON here (C(/j)); with C(commands) it reads the instructions from
    standard input (C(zeltrim -)), so no instruction file is left on the host.
  - Relative target paths are taken from the directory the module runs in; use absolute paths.
requirements:
  - ZELTRIM 3.1 with the C(/j) report, on the managed host
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
# AUTOEXEC.BAT once. Run it again and nothing changes; with --check it says what would.
- name: Put C:\TOOLS on the PATH
  zeltrim.edit.zeltrim:
    commands:
      - .F /srv/images/win98/AUTOEXEC.BAT
      - .E PATH=|;C:\TOOLS
      - .I SET TOOLS=C:\TOOLS
    backup: true

# A Linux hosts file, edited in its own form with LF line ends.
- name: Point db1 at the new server
  zeltrim.edit.zeltrim:
    commands:
      - .F /etc/hosts
      - .R 10.0.0.5 db1
      - .I 10.0.0.9 db1
  register: hosts_edit

# An instruction file already on the host, with its own field separator bytes.
- name: Carry out the installer's instructions
  zeltrim.edit.zeltrim:
    instructions: /opt/app/INSTALL.ZT
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
rc:
  description: The exit code of ZELTRIM (0 done, 3 check mode and a file would change).
  returned: always
  type: int
  sample: 0
backup_files:
  description: The backup of each replaced file, when C(backup) is true.
  returned: when ZELTRIM ran and reported
  type: list
  elements: str
  sample: [/srv/images/win98/AUTOEXEC.BAT.bak]
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

from ansible.module_utils.basic import AnsibleModule

# The commands whose argument has two parts, split by the field separator.
TWO_PART = "ASCEUV"


def with_separator(line, separator):
    """Puts the byte 0x02 for the first separator in the argument of a two-part command."""
    if len(line) < 2 or line[0] != "." or line[1].upper() not in TWO_PART:
        return line
    return line[:3] + line[3:].replace(separator, "\x02", 1)


def program_lines(report):
    """The program's own error lines: the run's, each target's, each problem's."""
    lines = [report.get("error")]
    lines += [(t.get("error") or {}).get("message") for t in report.get("targets") or []]
    lines += [p.get("message") for p in report.get("problems") or []]
    return [line for line in lines if line]


def main():
    module = AnsibleModule(
        argument_spec=dict(
            instructions=dict(type="path"),
            commands=dict(type="list", elements="str"),
            separator=dict(type="str", default="|"),
            once=dict(type="bool", default=True),
            keep_form=dict(type="bool", default=True),
            backup=dict(type="bool", default=False),
            unicode=dict(type="bool", default=False),
            strict=dict(type="bool", default=True),
            executable=dict(type="path"),
        ),
        mutually_exclusive=[("instructions", "commands")],
        required_one_of=[("instructions", "commands")],
        supports_check_mode=True,
    )
    p = module.params
    if not p["separator"]:
        module.fail_json(msg="separator must not be empty")
    executable = p["executable"] or module.get_bin_path("zeltrim", required=True)

    if p["commands"] is not None:
        source = "-"
    elif p["instructions"] == "-":
        source = "./-"  # "-" alone would be standard input
    else:
        source = p["instructions"]
    flags = [(module.check_mode, "/n"), (module._diff, "/d"), (p["backup"], "/b"),
             (p["strict"], "/s"), (p["once"], "/o"), (p["keep_form"], "/k"), (p["unicode"], "/u")]
    args = [executable, source, "/j"] + [flag for wanted, flag in flags if wanted]
    data = None
    if p["commands"] is not None:
        # An empty list still gives the program a (blank) standard input of its own to read.
        data = "\n".join(with_separator(line, p["separator"]) for line in p["commands"]) or "\n"

    rc, out, err = module.run_command(args, data=data, binary_data=True)
    try:
        report = json.loads(out)
        if not isinstance(report, dict) or report.get("program") != "zeltrim":
            raise ValueError("not a ZELTRIM report")
    except ValueError:
        module.fail_json(msg="%s did not print a JSON report (exit code %d); it needs a ZELTRIM "
                         "with /j" % (executable, rc), rc=rc, cmd=args, stdout=out, stderr=err)

    targets = report.get("targets") or []
    result = dict(
        changed=any(t.get("changed") for t in targets),
        rc=rc,
        targets=targets,
        backup_files=[t["backup"] for t in targets if t.get("backup")],
    )
    if module._diff:
        result["diff"] = [{"prepared": t["diff"]} for t in targets if t.get("diff")]
    if rc == 0 or (rc == 3 and module.check_mode):
        for problem in report.get("problems") or []:
            module.warn(problem.get("message", ""))
        # Ansible takes a result with a non-zero rc for a failure unless it says otherwise.
        module.exit_json(failed=False, **result)
    lines = program_lines(report) or [err.strip() or "ZELTRIM ended with exit code %d" % rc]
    module.fail_json(msg="\n".join(lines), stderr=err, **result)


if __name__ == "__main__":
    main()
