"""The benchmark jobs: their targets, and one edit written three ways.

An edit is a list of ZELTRIM commands. From it come the instruction file for ZELTRIM, a GNU sed
script and a perl -p script that make exactly the same bytes of the targets made here. The sed and
perl forms rely on what these targets hold (no .V value that forms the variable anew, .C and .E
values never empty, no line that an added line would meet); run.py checks every result byte for
byte, so a form that drifts is caught. Targets are written to a file in blocks as they are made,
so that one of a GiB never has to be held. The hosts jobs take their file and edits from
hosts.py; their removals are also run by grep. Beside them: sd on a single replace, GNU diff on
the pair of files /d compares, many small files in one job, and test mode.
"""

import shlex
from dataclasses import dataclass, field

import hosts

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

# Job 6: what the set-up program of a network package might ask of a start-up file, fifty
# commands in all. Many look for lines of earlier versions or other machines and find none here;
# the rest each meet one line in 25. No command meets a line that a .T, .A or .I before it adds,
# and no .A's line is changed after it: sed prints the lines of a, i and 1i as they are, after
# the commands that changed the line they follow, where ZELTRIM passes added lines on to the
# commands after the one that added them. No addition is there already, so /o changes nothing.
INSTALLER = [
    # What earlier versions and the old set-up left behind.
    ("R", "C:\\NETKIT\\NKSTART.BAT", None),
    ("R", "LH C:\\NETKIT\\NKTSR.COM", None),
    ("R", "DOSKEY", None),
    ("R", "ECHO Mouse driver and keyboard layout loaded", None),
    ("R", "SET NETKIT=C:\\NETKIT", None),
    ("R", "REM NetKit 1.0 start-up", None),
    ("R", "CALL C:\\NETKIT\\NKOLD.BAT", None),
    ("R", "DEVICE=C:\\NETKIT\\OLDNDIS.DOS", None),
    ("T", "@ECHO OFF", None),
    # Drivers and settings.
    ("S", "DEVICE=C:\\DOS\\HIMEM.SYS", "DEVICE=C:\\DOS\\HIMEM.SYS /V"),
    ("S", "C:\\WINDOWS\\SMARTDRV.EXE /X 2048 16 /Q", "C:\\WINDOWS\\SMARTDRV.EXE /X 4096 16 /Q"),
    ("S", "KEYB GR,,C:\\WINDOWS\\COMMAND\\KEYBOARD.SYS",
     "KEYB GR,,C:\\WINDOWS\\COMMAND\\KEYBRD2.SYS"),
    ("S", "LH C:\\DOS\\SMARTDRV.EXE", "REM LH C:\\DOS\\SMARTDRV.EXE"),
    ("S", "SET BLASTER=A220 I7 D3 T6", "SET BLASTER=A220 I7 D3 H7 T6"),
    ("S", "DEVICE=C:\\DOS\\EMM386.EXE RAM", "DEVICE=C:\\DOS\\EMM386.EXE NOEMS"),
    ("S", "LOADHIGH C:\\NETKIT\\NKTSR.COM /OLD", "LOADHIGH C:\\NETKIT\\NKTSR.COM"),
    ("S", "SET NKLANG=DE", "SET NKLANG=EN"),
    ("S", "NET START", "NET START WORKSTATION"),
    ("S", "SET COMSPEC=C:\\DOS\\COMMAND.COM", "SET COMSPEC=C:\\WINDOWS\\COMMAND\\COMMAND.COM"),
    # Search paths and other lists.
    ("C", "PATH=", "C:\\NETKIT;"),
    ("E", "PATH=", ";C:\\NETKIT\\BIN"),
    ("C", "SET PATH=", "C:\\NETKIT\\BIN;"),
    ("E", "SET PATH=", ";C:\\NETKIT"),
    ("E", "SET TEMP=", ";C:\\NETKIT\\TMP"),
    ("E", "LIBPATH=", ";C:\\NETKIT\\DLL"),
    ("E", "SET INCLUDE=", ";C:\\NETKIT\\INCLUDE"),
    ("C", "SET LIB=", "C:\\NETKIT\\LIB;"),
    ("E", "SET NKPATH=", ";C:\\NETKIT\\PLUGINS"),
    ("C", "SET HELPPATH=", "C:\\NETKIT\\HELP;"),
    ("U", "PATH=", "C:\\WINDOWS\\COMMAND;"),
    ("U", "SET PATH=", "C:\\DOS;"),
    ("U", "SET NKPATH=", "C:\\NETKIT\\OLD;"),
    # Place-holders the set-up fills in.
    ("V", "%TCPIP%", "10.1.2.3"),
    ("V", "%CONFIG%", "NETWORK"),
    ("V", "%NETKIT%", "C:\\NETKIT"),
    ("V", "%WINDIR%", "C:\\WINDOWS"),
    ("V", "%NKUSER%", "ADMIN"),
    ("V", "%NKDRIVE%", "Q:"),
    ("V", "%NKHOST%", "SERVER1"),
    ("V", "%NKPORT%", "4000"),
    # Its own lines, after the ones they belong with.
    ("A", "LOADHIGH /L:1,45456 C:\\MOUSE\\MOUSE.COM /Y", "LOADHIGH C:\\NETKIT\\NKTSR.COM"),
    ("A", "DEVICE=C:\\DOS\\HIMEM.SYS /TESTMEM:OFF", "DEVICE=C:\\NETKIT\\PROTMAN.DOS"),
    ("A", "SET PROMPT=$E[1;33m$P$G$E[0m", "SET DIRCMD=/O:GN"),
    ("A", "SET COMSPEC=C:\\WINDOWS\\COMMAND\\COMMAND.COM", "SET NETKIT=C:\\NETKIT"),
    ("A", "DEVICE=C:\\NETKIT\\IPX.DOS", "DEVICE=C:\\NETKIT\\NKNDIS.DOS"),
    ("A", "NET START", "NET LOGON"),
    ("A", "LH C:\\NETKIT\\NKTSR.COM", "LH C:\\NETKIT\\NKLOG.COM"),
    ("A", "REM NetKit network", "REM NetKit network end"),
    ("A", "SET NKLANG=EN", "SET NKCODEPAGE=850"),
    ("I", "CALL C:\\NETKIT\\NKSTART.BAT", None),
]

# Job 8: an edit of a registry export: one kind of value line swapped, a place-holder filled in,
# a search path extended and an obsolete value removed.
REGISTRY_EDIT = [
    ("S", "\"Version\"=\"1.3\"", "\"Version\"=\"2.0\""),
    ("V", "%APPDIR%", "C:\\\\Program Files\\\\Vendor\\\\App"),
    ("E", "\"SearchPath\"=", ";C:\\\\Program Files\\\\Vendor\\\\Shared"),
    ("R", "\"Obsolete\"=dword:00000001", None),
]


def startup_lines(count, first=0):
    for n in range(first, count):
        forms = SCREEN[n % len(SCREEN)]
        yield forms[(n // len(SCREEN)) % len(forms)].format(n=n)


# A target of hundreds of MiB is written in blocks of this many characters, never held whole.
BLOCK = 4 << 20


def _screen_formats():
    """The text of a whole screen as one format per form: argument i is the number of line i."""
    return ["".join(forms[k % len(forms)].replace("{n}", "{%d}" % i) + CRLF
                    for i, forms in enumerate(SCREEN)) for k in range(2)]


def startup_blocks(count=None, size=None):
    """The text of startup_lines(count), CR LF lines, in blocks of whole screens; or, without a
    count, whole screens until they hold at least `size` characters. One format call makes a
    screen: a GiB is written in seconds."""
    formats, per = _screen_formats(), len(SCREEN)
    n = made = 0
    parts, held = [], 0
    while (count is None or n + per <= count) and (size is None or made < size):
        text = formats[(n // per) % 2].format(*range(n, n + per))
        parts.append(text)
        held += len(text)
        made += len(text)
        n += per
        if held >= BLOCK:
            yield "".join(parts)
            parts, held = [], 0
    if count is not None:
        parts.extend(line + CRLF for line in startup_lines(count, n))
    if parts:
        yield "".join(parts)


# A registry export's keys, one format per kind of key, {n} its number. The kinds differ in a
# few values, so that each command of the edit meets one key in eight.
REGISTRY_KEY = [
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Key{n}]",
    "\"Name\"=\"Component {n}\"",
    "\"Path\"=\"C:\\\\Program Files\\\\App\\\\Part{n}\"",
    "\"Version\"=\"1.{kind}\"",
    "\"Data\"=\"{data}\\\\Part{n}\"",
    "{extra}",
    "",
]
REGISTRY_EXTRA = {
    1: "\"SearchPath\"=\"C:\\\\Program Files\\\\App;C:\\\\Program Files\\\\Common\"",
    2: "\"Obsolete\"=dword:00000001",
}
REGISTRY_KINDS = 8


def _registry_formats():
    formats = []
    for kind in range(REGISTRY_KINDS):
        lines = [line.replace("{kind}", str(kind))
                 .replace("{data}", "%APPDIR%" if kind == 5 else "C:\\\\Data")
                 .replace("{extra}", REGISTRY_EXTRA.get(kind, "\"Size\"=dword:00001000"))
                 for line in REGISTRY_KEY]
        formats.append("".join(line + CRLF for line in lines))
    return formats


def registry_blocks(size):
    """Keys of a registry export, CR LF lines, until they hold at least `size` characters."""
    formats = _registry_formats()
    n = made = 0
    parts, held = [], 0
    while made < size:
        text = formats[n % REGISTRY_KINDS].format(n=n)
        parts.append(text)
        held += len(text)
        made += len(text)
        n += 1
        if held >= BLOCK or made >= size:
            yield "".join(parts)
            parts, held = [], 0


def text_of(lines):
    """One block: the lines, each ended by CR LF."""
    return lambda: ["".join(line + CRLF for line in lines)]


def plain_file(blocks):
    """Writes CR LF lines ended by the end mark, as a DOS editor leaves them. `blocks` gives the
    text in blocks each time it is called."""
    def make(out):
        for block in blocks():
            out.write(block.encode("latin-1"))
        out.write(END_MARK)
    return make


def utf16le_file(blocks):
    """Writes UTF-16LE with its byte-order mark and no end mark, the form ZELTRIM writes."""
    def make(out):
        out.write(b"\xff\xfe")
        for block in blocks():
            out.write(block.encode("utf-16-le"))
    return make


def plain_target(lines):
    """The bytes plain_file writes, for a target small enough to hold."""
    return "".join(line + CRLF for line in lines).encode("latin-1") + END_MARK


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


def sed_text(lines, cr):
    """The text block of a, i: one line each, its CR before the LF where the target has one."""
    return "\\\n".join(line.replace("\\", "\\\\") + cr for line in lines) + "\n"


def sed_script(edit, end_mark_line, cr="\r"):
    """`end_mark_line`: the last line the script sees is the end mark, so .I goes before it.
    `cr` stands between a line's text and its LF: a CR in a target of CR LF lines (the form
    ZELTRIM writes), nothing in one of LF lines that ZELTRIM keeps so (/k)."""
    tops = [first for letter, first, _ in edit if letter == "T"]
    bottoms = [first for letter, first, _ in edit if letter == "I"]
    out = []
    # Printed before anything can end the cycle; each .T goes above those before it.
    if tops:
        out.append("1i\\\n" + sed_text(reversed(tops), cr))
    if bottoms:
        out.append(("$i\\\n" if end_mark_line else "$a\\\n") + sed_text(bottoms, cr))
    for letter, first, second in edit:
        f = sed_regex(first)
        if letter == "R":
            out.append("/^" + f + cr + "$/Id\n")
        elif letter == "A":
            out.append("/^" + f + cr + "$/a\\\n" + sed_text([second], cr))
        elif letter == "S":
            out.append("s/^" + f + cr + "$/" + sed_replacement(second) + cr + "/\n")
        elif letter == "C":
            out.append("s/^" + f + "/" + sed_replacement(first + second) + "/I\n")
        elif letter == "E":
            out.append("s/^" + f + "\\(.*\\)" + cr + "$/" + sed_replacement(first) + "\\1"
                       + sed_replacement(second) + cr + "/I\n")
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
    """For perl -0777 -pi on a UTF-16LE target without an end mark: decode, edit line by line,
    encode."""
    return (perl_setup(edit) + "use Encode qw(decode encode);\n"
            "my @out = ($top);\n"
            "for (split /(?<=\\n)/, decode('UTF-16LE', substr($_, 2))) {\n"
            + perl_line_edits(edit) + "push @out, $_;\n}\n"
            "$_ = \"\\xFF\\xFE\" . encode('UTF-16LE', join('', @out, $bottom));\n"
            ).encode("latin-1")


# --- the jobs -----------------------------------------------------------------------------------

TARGET = "AUTOEXEC.BAT"
SCRIPT_FILES = {"zeltrim": "EDIT.ZT", "sed": "edit.sed", "perl": "edit.pl"}
ZELTRIM = ["ZELTRIM", SCRIPT_FILES["zeltrim"]]
SED = ["sed", "-i", "-f", "edit.sed", TARGET]
PERL = ["perl", "-pi", "edit.pl", TARGET]
COPY = ["sh", "-c", "cat %s > COPY && sync COPY" % TARGET]
ICONV_SED = ["bash", "-o", "pipefail", "-c",
             "{ printf '\\377\\376' && tail -c +3 %s"
             " | iconv -f UTF-16LE -t ISO-8859-1 | sed -f edit.sed"
             " | iconv -f ISO-8859-1 -t UTF-16LE; } > NEW && mv NEW %s"
             % (TARGET, TARGET)]
PERL_SLURP = ["perl", "-0777", "-pi", "edit.pl", TARGET]

# Options whose cost is measured against the same run without them, and the file the run leaves.
# /b also leaves the old target beside it as NAME.bak, which is removed between runs and not
# compared; /k and /u change no byte of a plain target of CR LF lines ended by the end mark.
OPTIONS = {"/o": "edited", "/d": "edited", "/n": "original", "/b": "edited", "/k": "edited",
           "/u": "edited"}
# The options measured on job 6, whose commands the others would cost no differently.
INSTALLER_OPTIONS = ("/o", "/d", "/n")


@dataclass
class Tool:
    command: list
    # What the run leaves: "edited", the target as every editing tool makes it; "original", the
    # target untouched; "copy", a file COPY equal to the target; "new", a file NEW as every
    # editing tool makes the target (which a filter such as grep leaves untouched).
    leaves: str = "edited"
    exit_code: int = 0
    # What the tool needs that a binary may lack: "quiet", the program's --quiet; "round 2",
    # the round-2 program built beside today's (ZELTRIM_ROUND2 in the command). run.py leaves
    # the tool out, saying so, where it is not to be had.
    needs: str = None


@dataclass
class Job:
    key: str                 # unique, short
    title: str               # the table's first column
    make_target: object      # (binary file) -> None: writes the target, when the job runs
    files: dict              # name -> bytes, besides the target
    tools: dict              # tool name -> Tool, run in the job's folder
    # The target afterwards, where known without running a tool: bytes, or a function that
    # makes them when the job runs.
    expected: object = None
    doubles: str = None      # key of the job at half this size, for growth ratios
    growth_limit: float = None  # the most each doubling may multiply the time by
    target: str = TARGET     # the target's name in the job's folder
    # A job of many targets: () -> {name: bytes}, each restored before every run (then
    # make_target and target are None).
    many: object = None
    # Keep the first edited target as EDITED, for a tool that compares it with ORIGINAL.
    keep_edited: bool = False
    extra: dict = field(default_factory=dict)


def line_edit_job(key, title, make_target, edit, utf16=False, copy=True, perl=True, **rest):
    files = {SCRIPT_FILES["zeltrim"]: instructions(TARGET, edit)}
    tools = {"zeltrim": Tool(ZELTRIM)}
    if utf16:
        files["edit.sed"] = sed_script(edit, end_mark_line=False)
        files["edit.pl"] = perl_utf16_script(edit)
        tools["sed + iconv"] = Tool(ICONV_SED)
        if perl:
            tools["perl -0777 -pi"] = Tool(PERL_SLURP)
    else:
        files["edit.sed"] = sed_script(edit, end_mark_line=True)
        files["edit.pl"] = perl_script(edit)
        tools["sed -i"] = Tool(SED)
        if perl:
            tools["perl -pi"] = Tool(PERL)
    if copy:
        tools["copy floor"] = Tool(COPY, leaves="copy")
    return Job(key, title, make_target, files, tools, **rest)


def with_options(job, options=tuple(OPTIONS)):
    """The job's ZELTRIM run again with each of `options`, beside the run without it. /n
    changes nothing and ends with exit code 3: a file would change."""
    tools = {"zeltrim": job.tools["zeltrim"]}
    for option in options:
        leaves = OPTIONS[option]
        tools["zeltrim " + option] = Tool(ZELTRIM + [option], leaves,
                                          3 if leaves == "original" else 0)
    tools.update((name, tool) for name, tool in job.tools.items() if name != "zeltrim")
    job.tools = tools
    return job


def one_line_job(key, title, line, edit, expected_line=None, others=True):
    job = line_edit_job(key, title, plain_file(text_of([line])), edit, copy=False)
    if not others:  # sed and perl have no restart rule: s///g is a single pass
        job.tools = {"zeltrim": job.tools["zeltrim"]}
    if expected_line is not None:
        job.expected = plain_target([expected_line])
    return job


HOSTS = "hosts"
REMOVALS = "remove.txt"
# sed looks at every line with each command in turn: 1,000 commands on the 200,000-line hosts
# file take it about 100 s a run, so it runs on no job of more commands.
SED_MOST_COMMANDS = 1000


def hosts_job(key, title, count, edit, after_edit, removals=False):
    """ZELTRIM with /k (the file keeps its LF lines and gets no end mark), sed -i where the job
    has few enough commands, and for pure removals grep, which writes the lines it keeps to
    NEW. Every tool's bytes must be the lines the edit was made to leave."""
    files = {SCRIPT_FILES["zeltrim"]: instructions(HOSTS, edit)}
    tools = {"zeltrim": Tool(ZELTRIM + ["/k"])}
    if len(edit) <= SED_MOST_COMMANDS:
        files[SCRIPT_FILES["sed"]] = sed_script(edit, end_mark_line=False, cr="")
        tools["sed -i"] = Tool(["sed", "-i", "-f", SCRIPT_FILES["sed"], HOSTS])
    if removals:
        files[REMOVALS] = hosts.text(first for _, first, _ in edit)
        tools["grep -v -x -F -f"] = Tool(
            ["sh", "-c", "grep -v -x -F -f %s %s > NEW" % (REMOVALS, HOSTS)], leaves="new")
    return Job(key, title, lambda out: out.write(hosts.text(hosts.lines(count))), files, tools,
               expected=lambda: hosts.text(after_edit), target=HOSTS)

# --- beside the peers ---------------------------------------------------------------------------

# The program at the end of round 2, built from the history beside today's (see run.py).
ROUND2_COMMIT = "ebf21ab"
ROUND2 = "round 2 (%s)" % ROUND2_COMMIT
ROUND2_ZELTRIM = "ZELTRIM_ROUND2"
QUIET = ["ZELTRIM", "--quiet", SCRIPT_FILES["zeltrim"]]
EDITED = "EDITED"
# GNU diff on the pair of files /d compares: the target before the run and after it. It ends
# with exit code 1, the files differ; its output goes where ZELTRIM's diff goes, nowhere.
DIFF = Tool(["diff", "-u", "ORIGINAL", EDITED], leaves="original", exit_code=1)


def then_sync(command, *names):
    """A shell command line: `command`, then the sync of `names` (all of the disk without)."""
    return ["sh", "-c", shlex.join(command) + " && " + shlex.join(["sync", *names])]


def peer_job(key, title, make_target, edit, sd):
    """One command on job 1's target: ZELTRIM with its report and under --quiet, beside sd with
    `sd` for its arguments (the target added), alone and followed by the sync of the target, so
    with the durability ZELTRIM gives."""
    files = {SCRIPT_FILES["zeltrim"]: instructions(TARGET, edit)}
    tools = {"zeltrim": Tool(ZELTRIM), "zeltrim --quiet": Tool(QUIET, needs="quiet"),
             "sd + sync": Tool(then_sync(["sd", *sd, TARGET], TARGET)),
             "sd": Tool(["sd", *sd, TARGET])}
    return Job(key, title, make_target, files, tools)


# Many small files in one job: each file of MANY_LINES lines in a row of the start-up text, named
# by its own .F and edited by three commands, each of which meets a line of every file (any 32
# lines in a row hold every kind of line of a screen of 25).
MANY_LINES = 32
MANY_EDIT = [command for command in EVERY_COMMAND if command[0] in "SEV"]


def many_files_job(key, title, count):
    """ZELTRIM on `count` files in one job, beside one sed -i given all of them followed by one
    sync of the disk."""
    names = ["F%05d.BAT" % k for k in range(count)]

    def originals():
        return {name: plain_target(startup_lines(MANY_LINES * (k + 1), MANY_LINES * k))
                for k, name in enumerate(names)}

    files = {SCRIPT_FILES["zeltrim"]: b"".join(instructions(name, MANY_EDIT) for name in names),
             SCRIPT_FILES["sed"]: sed_script(MANY_EDIT, end_mark_line=True)}
    sed = ["sh", "-c", 'sed -i -f %s "$@" && sync' % SCRIPT_FILES["sed"], "sh"] + names
    tools = {"zeltrim": Tool(ZELTRIM), "sed -i + sync": Tool(sed)}
    return Job(key, title, None, files, tools, target=None, many=originals)


# Test mode: commands that meet no line of a start-up file, of every kind, and the first alone.
MATCHING_NOTHING = [
    ("R", "C:\\NETKIT\\NKSTART.BAT", None),
    ("R", "SET NETKIT=C:\\NETKIT", None),
    ("R", "DEVICE=C:\\NETKIT\\OLDNDIS.DOS", None),
    ("S", "SET NKLANG=DE", "SET NKLANG=EN"),
    ("S", "NET START", "NET START WORKSTATION"),
    ("S", "DEVICE=C:\\DOS\\EMM386.EXE RAM", "DEVICE=C:\\DOS\\EMM386.EXE NOEMS"),
    ("A", "NET START", "NET LOGON"),
    ("A", "DEVICE=C:\\NETKIT\\IPX.DOS", "DEVICE=C:\\NETKIT\\NKNDIS.DOS"),
    ("A", "REM NetKit network", "REM NetKit network end"),
    ("C", "LIBPATH=", "C:\\NETKIT\\DLL;"),
    ("C", "SET LIB=", "C:\\NETKIT\\LIB;"),
    ("C", "SET HELPPATH=", "C:\\NETKIT\\HELP;"),
    ("E", "SET INCLUDE=", ";C:\\NETKIT\\INCLUDE"),
    ("E", "SET NKPATH=", ";C:\\NETKIT\\PLUGINS"),
    ("E", "SET LIB=", ";C:\\NETKIT\\LIB"),
    ("U", "SET NKPATH=", "C:\\NETKIT\\OLD;"),
    ("U", "LIBPATH=", "C:\\OLD;"),
    ("V", "%NKUSER%", "ADMIN"),
    ("V", "%NKDRIVE%", "Q:"),
    ("V", "%NKHOST%", "SERVER1"),
]
ONE_COMMAND = "ONE.ZT"


def test_mode_job(key, title, make_target):
    """/t with one command that meets no line and with all of MATCHING_NOTHING (standard input
    is the null device, which answers every wait), then the same two without /t. The target
    stays as it was."""
    files = {SCRIPT_FILES["zeltrim"]: instructions(TARGET, MATCHING_NOTHING),
             ONE_COMMAND: instructions(TARGET, MATCHING_NOTHING[:1])}
    tools = {}
    for option in (["/t"], []):
        for script, count in ((ONE_COMMAND, 1), (SCRIPT_FILES["zeltrim"], len(MATCHING_NOTHING))):
            name = "zeltrim%s, %d command%s" % ("".join(" " + o for o in option), count,
                                               "s" if count > 1 else "")
            tools[name] = Tool(["ZELTRIM", script] + option, leaves="original")
    return Job(key, title, make_target, files, tools)


def size_name(size):
    return "%d GiB" % (size >> 30) if size >= 1 << 30 else "%.4g MiB" % (size / (1 << 20))


def all_jobs(scale=1.0):
    """Every job at `scale` times its size (1.0 is the size the issue asks for)."""
    def lines(count):
        return max(50, int(count * scale))

    jobs = []
    million = lines(1_000_000)
    job1_target = plain_file(lambda: startup_blocks(million))
    job = with_options(line_edit_job("1", "1: %d lines, every command" % million, job1_target,
                                     EVERY_COMMAND))
    job.tools[ROUND2] = Tool([ROUND2_ZELTRIM, SCRIPT_FILES["zeltrim"]], needs="round 2")
    job.tools["sed -i + sync"] = Tool(then_sync(SED, TARGET))
    job.tools["diff -u"] = DIFF
    job.keep_edited = True
    jobs.append(job)
    jobs.append(peer_job("1v", "1v: .V %%TCPIP%%, %d lines" % million, job1_target,
                         [("V", "%TCPIP%", "10.0.0.1")], ["-s", "%TCPIP%", "10.0.0.1"]))
    jobs.append(peer_job("1u", "1u: .U SET PATH=, %d lines" % million, job1_target,
                         [("U", "SET PATH=", "C:\\WINDOWS;")],
                         ["^(SET PATH=.*?)C:\\\\WINDOWS;", "$1"]))
    jobs.append(line_edit_job("2", "2: the same in UTF-16LE",
                              utf16le_file(lambda: startup_blocks(million)), EVERY_COMMAND,
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
        jobs.append(line_edit_job(key, "4: %d .I commands" % count, plain_file(text_of(small)),
                                  edit, copy=False, doubles=doubles, growth_limit=2.2))
    device = "DEVICE=C:\\DOS\\HIMEM.SYS"
    for key, count, doubles in (("4a1", million, None), ("4a2", 2 * million, "4a1")):
        jobs.append(line_edit_job(key, "4: .A matching all %d lines" % count,
                                  plain_file(lambda count=count: [(device + CRLF) * count]),
                                  [("A", device, "DEVICE=C:\\DOS\\EMM386.EXE NOEMS")],
                                  copy=False, doubles=doubles, growth_limit=2.2))

    previous = None
    for count in (lines(250_000), lines(500_000), million, 2 * million):
        key = "5-%d" % count
        job = line_edit_job(key, "5: %d lines, every command" % count,
                            plain_file(lambda count=count: startup_blocks(count)), EVERY_COMMAND,
                            doubles=previous, growth_limit=2.1)
        job.tools = {"zeltrim": job.tools["zeltrim"], "copy floor": job.tools["copy floor"]}
        jobs.append(job)
        previous = key

    job = with_options(line_edit_job(
        "6", "6: %d lines, %d installer commands" % (million, len(INSTALLER)), job1_target,
        INSTALLER), INSTALLER_OPTIONS)
    job.tools["diff -u"] = DIFF
    job.keep_edited = True
    jobs.append(job)

    for key, count in (("m100", 100), ("m1k", 1_000), ("m10k", 10_000)):
        count = max(1, int(count * scale))
        jobs.append(many_files_job(key, "%s: %d files of %d lines, 3 commands each"
                                   % (key, count, MANY_LINES), count))

    tested = lines(300_000)
    jobs.append(test_mode_job("t20", "t20: /t, commands meeting no line, %d lines" % tested,
                              plain_file(lambda: startup_blocks(tested))))
    job = line_edit_job("t1m", "t1m: /t, %d lines, every command" % million, job1_target,
                        EVERY_COMMAND, copy=False, perl=False)
    job.tools = {"zeltrim": job.tools["zeltrim"], "zeltrim /t": Tool(ZELTRIM + ["/t"])}
    jobs.append(job)

    # Sizes in bytes of the file: latin-1 has one per character, UTF-16 two.
    big = max(1 << 20, int((1 << 30) * scale))
    jobs.append(line_edit_job("7", "7: %s of start-up lines, every command" % size_name(big),
                              plain_file(lambda: startup_blocks(size=big)), EVERY_COMMAND,
                              perl=False))
    export = max(1 << 20, int(500 * (1 << 20) * scale))
    jobs.append(line_edit_job("8", "8: UTF-16LE registry export of %s" % size_name(export),
                              utf16le_file(lambda: registry_blocks(export // 2)), REGISTRY_EDIT,
                              utf16=True, perl=False))

    # The hosts file in blocks of 100 lines; every .R job removes its entries from the same file,
    # and the mixed job acts on as many of its blocks as it has cycles of five commands.
    count = max(20, int(200_000 * scale) // hosts.BLOCK) * hosts.BLOCK
    for key, entries in (("h10", 10), ("h1k", 1_000), ("h10k", 10_000), ("h100k", 100_000)):
        edit, after_edit = hosts.removals(count, max(10, int(entries * scale)))
        jobs.append(hosts_job(key, "%s: %d .R, %d-line hosts file" % (key, len(edit), count),
                              count, edit, after_edit, removals=True))
    # The largest instruction file on a file of one block, so that the time is what reading and
    # preparing the job costs: commands of five kinds, each cycle on a block of its own, of
    # which the target is the first; under /o, with the check of the whole job it makes.
    commands = max(10, int(100_000 * scale))
    edit, after_edit = hosts.mixed(commands // 5 * hosts.BLOCK, commands, target=hosts.BLOCK)
    job = hosts_job("hprep", "hprep: %d .S .A .R .V .E, %d-line hosts file"
                    % (len(edit), hosts.BLOCK), hosts.BLOCK, edit, after_edit)
    job.tools = {"zeltrim": job.tools["zeltrim"], "zeltrim /o": Tool(ZELTRIM + ["/k", "/o"]),
                 **{name: tool for name, tool in job.tools.items() if name != "zeltrim"}}
    jobs.append(job)
    edit, after_edit = hosts.mixed(count, max(10, int(10_000 * scale)))
    jobs.append(hosts_job("hmix", "hmix: %d .S .A .R .V .E, %d-line hosts file"
                          % (len(edit), count), count, edit, after_edit))
    return jobs
