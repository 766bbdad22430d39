"""The benchmark jobs: their targets, and one edit written three ways.

An edit is a list of ZELTRIM commands. From it come the instruction file for ZELTRIM, a GNU sed
script and a perl -p script that make exactly the same bytes of the targets made here. The sed and
perl forms rely on what these targets hold (no .V value that forms the variable anew, .C and .E
values never empty); run.py checks every result byte for byte, so a form that drifts is caught.
"""

from dataclasses import dataclass, field

SEPARATOR = "\x02"
END_MARK = b"\x1a"
CRLF = "\r\n"

# One screen of a start-up file, repeated. {n} is the line number, so lines differ; the second
# form of a row is used in every other screen, so the caseless commands meet both cases.
SCREEN = [
    ("REM ---- Start-up section {n}: memory, drivers and network ----",),
    ("PATH=C:\\WINDOWS;C:\\WINDOWS\\COMMAND;C:\\APPS\\A{n}", "path=c:\\dos;C:\\WINDOWS\\COMMAND;c:\\bin{n}"),
    ("SET TEMP=C:\\WINDOWS\\TEMP\\SESSION{n}", "set temp=c:\\windows\\temp\\s{n}"),
    ("LH C:\\DOS\\SMARTDRV.EXE",),
    ("DEVICE=C:\\DOS\\HIMEM.SYS",),
    ("doskey", "DosKey"),
    ("NET USE Q: \\\\%TCPIP%\\SHARE{n} /PERSISTENT:NO",),
    ("",),
    ("SET BLASTER=A220 I7 D3 H7 P330 T6",),
    ("IF EXIST C:\\NET\\N{n}.BAT CALL C:\\NET\\N{n}.BAT",),
    ("SET PATH=C:\\WINDOWS;C:\\WINDOWS\\COMMAND;C:\\DOS;C:\\UTIL",),
    ("ECHO Loading network driver {n}",),
    ("LOADHIGH /L:1,45456 C:\\MOUSE\\MOUSE.COM /Y",),
    ("SET PROMPT=$E[1;33m$P$G$E[0m",),
    ("IF \"%CONFIG%\"==\"NETWORK\" GOTO NETWORK{n}",),
    (":NETWORK{n}",),
    ("REM TCPIP is set by the network set-up, line {n}",),
    ("C:\\WINDOWS\\SMARTDRV.EXE /X 2048 16 /Q",),
    ("DEVICE=C:\\DOS\\HIMEM.SYS /TESTMEM:OFF",),
    ("SET COMSPEC=C:\\WINDOWS\\COMMAND\\COMMAND.COM",),
    ("lh c:\\dos\\smartdrv.exe",),
    ("IF ERRORLEVEL 1 GOTO FAIL{n}",),
    ("ECHO Mouse driver and keyboard layout loaded",),
    ("KEYB GR,,C:\\WINDOWS\\COMMAND\\KEYBOARD.SYS",),
    ("CALL C:\\NET\\STARTNET.BAT {n}",),
]

# Job 1: each of the nine commands once, in the order the issue lists them.
EVERY_COMMAND = [
    ("R", "DOSKEY", None),
    ("A", "DEVICE=C:\\DOS\\HIMEM.SYS", "DEVICE=C:\\DOS\\EMM386.EXE NOEMS"),
    ("S", "LH C:\\DOS\\SMARTDRV.EXE", "LH C:\\DOS\\SMARTDRV.EXE 2048"),
    ("C", "PATH=", "C:\\ZELTRIM;"),
    ("E", "SET TEMP=", ";C:\\TMP"),
    ("V", "%TCPIP%", "10.1.2.3"),
    ("U", "PATH=", "C:\\WINDOWS\\COMMAND;"),
    ("I", "REM Edited by ZELTRIM", None),
    ("T", "@ECHO OFF", None),
]


def startup_lines(count):
    for n in range(count):
        forms = SCREEN[n % len(SCREEN)]
        yield forms[(n // len(SCREEN)) % len(forms)].format(n=n)


def plain_target(lines):
    """CR LF lines ended by the end mark, as a DOS editor leaves them."""
    return "".join(line + CRLF for line in lines).encode("latin-1") + END_MARK


def utf16le_target(lines):
    """UTF-16LE with its mark, ended by the single end-mark byte ZELTRIM writes."""
    text = "".join(line + CRLF for line in lines)
    return b"\xff\xfe" + text.encode("utf-16-le") + END_MARK


# --- ZELTRIM ------------------------------------------------------------------------------------

def instructions(target_name, edit):
    out = [".F " + target_name]
    for letter, first, second in edit:
        out.append("." + letter + " " + first + ("" if second is None else SEPARATOR + second))
    return "".join(line + CRLF for line in out).encode("latin-1")


# --- GNU sed ------------------------------------------------------------------------------------

def sed_regex(text):
    return "".join("\\" + c if c in "\\.*[]^$/" else c for c in text)


def sed_replacement(text):
    return "".join("\\" + c if c in "\\&/" else c for c in text)


def sed_text(lines):
    """The text block of a, i: one CR LF line each."""
    return "\\\n".join(line.replace("\\", "\\\\") + "\r" for line in lines) + "\n"


def sed_script(edit, end_mark_line):
    """`end_mark_line`: the last line the script sees is the end mark, so .I goes before it."""
    tops = [first for letter, first, _ in edit if letter == "T"]
    bottoms = [first for letter, first, _ in edit if letter == "I"]
    out = []
    # Printed before anything can end the cycle; each .T goes above those before it.
    if tops:
        out.append("1i\\\n" + sed_text(reversed(tops)))
    if bottoms:
        out.append(("$i\\\n" if end_mark_line else "$a\\\n") + sed_text(bottoms))
    for letter, first, second in edit:
        f = sed_regex(first)
        if letter == "R":
            out.append("/^" + f + "\r$/Id\n")
        elif letter == "A":
            out.append("/^" + f + "\r$/a\\\n" + sed_text([second]))
        elif letter == "S":
            out.append("s/^" + f + "\r$/" + sed_replacement(second) + "\r/\n")
        elif letter == "C":
            out.append("s/^" + f + "/" + sed_replacement(first + second) + "/I\n")
        elif letter == "E":
            out.append("s/^" + f + "\\(.*\\)\r$/" + sed_replacement(first) + "\\1"
                       + sed_replacement(second) + "\r/I\n")
        elif letter == "V":
            out.append("s/" + f + "/" + sed_replacement(second) + "/g\n")
        elif letter == "U":
            out.append("/^" + f + "/s/" + sed_regex(second) + "//g\n")
    return "".join(out).encode("latin-1")


# --- perl -p ------------------------------------------------------------------------------------

def perl_string(text):
    return "'" + text.replace("\\", "\\\\").replace("'", "\\'") + "'"


def perl_setup(edit):
    """Named strings, so the edits below need no escaping."""
    out = []
    for k, (letter, first, second) in enumerate(edit):
        out.append("$f%d = %s;" % (k, perl_string(first)))
        if second is not None:
            out.append("$s%d = %s;" % (k, perl_string(second)))
    tops = [first for letter, first, _ in edit if letter == "T"]
    bottoms = [first for letter, first, _ in edit if letter == "I"]
    out.append("$top = join('', map { $_ . \"\\r\\n\" } (%s));"
               % ", ".join(perl_string(t) for t in reversed(tops)))
    out.append("$bottom = join('', map { $_ . \"\\r\\n\" } (%s));"
               % ", ".join(perl_string(b) for b in bottoms))
    return "BEGIN {\n  " + "\n  ".join(out) + "\n}\n"


def perl_line_edits(edit):
    """Edits of the one CR LF line in $_; every later edit sees what the earlier ones made."""
    out = []
    for k, (letter, _, _) in enumerate(edit):
        f, s = "$f%d" % k, "$s%d" % k
        if letter == "R":
            out.append("$_ = '' if lc($_) eq lc(%s . \"\\r\\n\");" % f)
        elif letter == "A":
            out.append("$_ .= %s . \"\\r\\n\" if $_ eq %s . \"\\r\\n\";" % (s, f))
        elif letter == "S":
            out.append("$_ = %s . \"\\r\\n\" if $_ eq %s . \"\\r\\n\";" % (s, f))
        elif letter == "C":
            out.append("s/^\\Q%s\\E/%s%s/i;" % (f, f, s))
        elif letter == "E":
            out.append("s/^\\Q%s\\E(.*)\\r\\n\\z/%s$1%s\\r\\n/i;" % (f, f, s))
        elif letter == "V":
            out.append("s/\\Q%s\\E/%s/g;" % (f, s))
        elif letter == "U":
            out.append("s/\\Q%s\\E//g if /^\\Q%s\\E/;" % (s, f))
    return "\n".join(out) + "\n"


def perl_script(edit):
    """For perl -pi on a plain target whose last line is the end mark."""
    return (perl_setup(edit) + "print $top if $. == 1;\nprint $bottom if eof;\n"
            + perl_line_edits(edit)).encode("latin-1")


def perl_utf16_script(edit):
    """For perl -0777 -pi on a UTF-16LE target: decode, edit line by line, encode."""
    return (perl_setup(edit) + "use Encode qw(decode encode);\n"
            "my @out = ($top);\n"
            "for (split /(?<=\\n)/, decode('UTF-16LE', substr($_, 2, length($_) - 3))) {\n"
            + perl_line_edits(edit) + "push @out, $_;\n}\n"
            "$_ = \"\\xFF\\xFE\" . encode('UTF-16LE', join('', @out, $bottom)) . \"\\x1A\";\n"
            ).encode("latin-1")


# --- the jobs -----------------------------------------------------------------------------------

TARGET = "AUTOEXEC.BAT"
SCRIPT_FILES = {"zeltrim": "EDIT.ZT", "sed": "edit.sed", "perl": "edit.pl"}
SED = ["sed", "-i", "-f", "edit.sed", TARGET]
PERL = ["perl", "-pi", "edit.pl", TARGET]
COPY = ["sh", "-c", "cat %s > COPY && sync COPY" % TARGET]
ICONV_SED = ["bash", "-o", "pipefail", "-c",
             "{ printf '\\377\\376' && tail -c +3 %s | head -c -1"
             " | iconv -f UTF-16LE -t ISO-8859-1 | sed -f edit.sed"
             " | iconv -f ISO-8859-1 -t UTF-16LE && printf '\\032'; } > NEW && mv NEW %s"
             % (TARGET, TARGET)]
PERL_SLURP = ["perl", "-0777", "-pi", "edit.pl", TARGET]


@dataclass
class Job:
    key: str                 # unique, short
    title: str               # the table's first column
    make_target: object      # () -> the target's bytes, made when the job runs
    files: dict              # name -> bytes, besides the target
    tools: dict              # tool name -> command, run in the job's folder
    expected: bytes = None   # the target afterwards, where known without running a tool
    note: str = ""
    doubles: str = None      # key of the job at half this size, for growth ratios
    extra: dict = field(default_factory=dict)


def line_edit_job(key, title, make_target, edit, utf16=False, copy=True, **rest):
    files = {SCRIPT_FILES["zeltrim"]: instructions(TARGET, edit)}
    tools = {"zeltrim": ["ZELTRIM", SCRIPT_FILES["zeltrim"]]}
    if utf16:
        files["edit.sed"] = sed_script(edit, end_mark_line=False)
        files["edit.pl"] = perl_utf16_script(edit)
        tools["sed + iconv"] = ICONV_SED
        tools["perl -0777 -pi"] = PERL_SLURP
    else:
        files["edit.sed"] = sed_script(edit, end_mark_line=True)
        files["edit.pl"] = perl_script(edit)
        tools["sed -i"] = SED
        tools["perl -pi"] = PERL
    if copy:
        tools["copy floor"] = COPY
    return Job(key, title, make_target, files, tools, **rest)


def one_line_job(key, title, line, edit, expected_line=None, others=True):
    job = line_edit_job(key, title, lambda: plain_target([line]), edit, copy=False)
    if not others:  # sed and perl have no restart rule: s///g is a single pass
        job.tools = {"zeltrim": job.tools["zeltrim"]}
    if expected_line is not None:
        job.expected = plain_target([expected_line])
    return job


def all_jobs(scale=1.0):
    """Every job at `scale` times its size (1.0 is the size the issue asks for)."""
    def lines(count):
        return max(50, int(count * scale))

    jobs = []
    million = lines(1_000_000)
    jobs.append(line_edit_job("1", "1: %d lines, every command" % million,
                              lambda: plain_target(startup_lines(million)), EVERY_COMMAND))
    jobs.append(line_edit_job("2", "2: the same in UTF-16LE",
                              lambda: utf16le_target(startup_lines(million)), EVERY_COMMAND,
                              utf16=True))

    units = max(10, int(500_000 * scale))
    jobs.append(one_line_job("3v", "3: .V on one %d-byte line" % (16 * units),
                             "NET USE \\\\%TCPIP%" * units, [("V", "%TCPIP%", "10.1.2.3")]))
    # ab becomes a: aabb becomes aab, then aa; a single left-to-right pass stops at aab.
    filler = "-C:\\DOS;PQRSTU"
    jobs.append(one_line_job("3c", "3: .V forming new occurrences", ("aabb" + filler) * units,
                             [("V", "ab", "a")], ("aa" + filler) * units, others=False))
    jobs.append(one_line_job("3u", "3: .U on one %d-byte line" % (16 * units + 5),
                             "PATH=" + "C:\\WINDOWS;C:\\D;" * units,
                             [("U", "PATH=", "C:\\WINDOWS;")],
                             "PATH=" + "C:\\D;" * units))

    small = list(startup_lines(len(SCREEN)))
    for key, count, doubles in (("4i1", lines(100_000), None), ("4i2", lines(200_000), "4i1")):
        edit = [("I", "REM added line %d" % k, None) for k in range(count)]
        jobs.append(line_edit_job(key, "4: %d .I commands" % count, lambda: plain_target(small),
                                  edit, copy=False, doubles=doubles))
    device = "DEVICE=C:\\DOS\\HIMEM.SYS"
    for key, count, doubles in (("4a1", million, None), ("4a2", 2 * million, "4a1")):
        jobs.append(line_edit_job(key, "4: .A matching all %d lines" % count,
                                  lambda count=count: plain_target([device] * count),
                                  [("A", device, "DEVICE=C:\\DOS\\EMM386.EXE NOEMS")],
                                  copy=False, doubles=doubles))

    previous = None
    for count in (lines(250_000), lines(500_000), million, 2 * million):
        key = "5-%d" % count
        job = line_edit_job(key, "5: %d lines, every command" % count,
                            lambda count=count: plain_target(startup_lines(count)), EVERY_COMMAND,
                            doubles=previous)
        job.tools = {"zeltrim": job.tools["zeltrim"], "copy floor": COPY}
        jobs.append(job)
        previous = key
    return jobs
