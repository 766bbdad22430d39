// The help screen and the sample instruction file it writes. The texts show "." between the
// two parts of an argument, as they always have; real instruction files use the byte 0x02.
#include <string>

#include "front/front.h"
#include "platform/console.h"
#include "platform/files.h"

namespace zeltrim {

namespace {
constexpr std::string_view kHelp =
    "This program will edit a text file using instructions presented\n"
    "          in a file in the current directory or explicit path.\n\n"
    "Valid instructions are the following:\n"
    "   .F  is the file you wish to edit.\n"
    "   .G  creates file if it does not exist.\n"
    "   .I  inserts a line at the end of the .F or .G file\n"
    "   .T  inserts a line at the beginning of the .F or .G file\n"
    "   .R  removes a line from the .F or .G file\n"
    "   .A  inserts a line after a given line of the .F file, seperate by ..\n"
    "   .C  concats a string to a PATH= line at the beginning of the line,\n"
    "       seperate by ..\n"
    "   .E  concats a string to a PATH= line at the end of the line, seperate by ..\n"
    "   .U  deletes a string(s) in a line of the .F or .G file, seperate by .\n"
    "   .S  swaps the text of a line with new text, seperate by ..\n"
    "       Note: Include leading spaces when swapping indented lines.\n"
    "   .V  Replaces all variables in a line with a string, seperate by ..\n\n"
    "Anything besides the above commands will be ignored.\n\n";
constexpr std::string_view kPressEnter = "Press Enter for an example.\n";

constexpr std::string_view kExampleHeading =
    "The following is an example of SAMPLE.ZT instruction file.\n\n";
constexpr std::string_view kExampleLine = "       %s\n";
constexpr std::string_view kInvoke =
    "Invoke the program by typing - ZELTRIM C:\\YOUR.??? <options>\n"
    "                               ensure the path is correct.\n"
    "                               Options are /t for test mode\n\n";

// The example address is from the block reserved for documentation.
constexpr std::string_view kSampleLines[] = {
    ".F C:\\AUTOEXEC.BAT",
    ".S C:\\WINDOWS\\SMARTDRV.EXE.REM C:\\WINDOWS\\SMARTDRV.EXE",
    ".S    INDENT 3 SPACES.    INDENT 4 SPACES",
    ".R DOSKEY",
    ".I SET PATH=C:",
    ".T @ECHO OFF",
    ".A @ECHO OFF.DOSKEY",
    ".C PATH=.C:\\DOS;",
    ".E SET PATH=.C:\\KVATOOLS;",
    ".U PATH=.C:\\WINDOWS;",
    ".V %TCPIP%.192.0.2.10",
};

// --help ends with every option and exit code; the README and the manual page list the same.
constexpr std::string_view kUsage =
    "Usage: ZELTRIM instruction-file [options]\n"
    "       ZELTRIM - [options]     (the instruction file on standard input;\n"
    "                               not with /t)\n"
    "       ZELTRIM --help | --version\n\n"
    "The two parts of a command (.A .C .E .S .U .V) are separated by the byte\n"
    "0x02, shown as \".\" above. Type it in vi and most terminals with Ctrl-V\n"
    "Ctrl-B; in a script write \\002, for example\n"
    "  printf '.F AUTOEXEC.BAT\\r\\n.E PATH=\\002;C:\\\\UTIL\\r\\n' > EDIT.ZT\n\n"
    "Options, after the instruction file, in either letter case; their long\n"
    "forms anywhere (\"--\" ends the long forms):\n"
    "  /t --test       test mode: show every step and wait after it; the files\n"
    "                  ARE written\n"
    "  /n --dry-run    no-write mode: change no file; name each file that would\n"
    "                  change\n"
    "  /d --diff       show the change to each file as a unified diff, which\n"
    "                  patch -p0 applies to plain and UTF-8 files\n"
    "  /b --backup     keep the content each replaced file had before the run\n"
    "                  as NAME.bak\n"
    "  /s --strict     strict: look at the whole job first; a problem of the\n"
    "                  instruction file or an extra argument stops it\n"
    "  /o --once       once: add no line or list item that is there already,\n"
    "                  so that a second run of the same job changes nothing\n"
    "  /k --keep-form  keep each file's own form: its line ends, and its end\n"
    "                  mark only where it had one\n"
    "  /u --unicode    Unicode mode: edit UTF-16 and UTF-32 files that hold any\n"
    "                  character (their lines are UTF-8 in the instruction\n"
    "                  file and the report)\n"
    "  /q --quiet      quiet: print only what went wrong, the problems of the\n"
    "                  instruction file, the verdicts of /n and the diffs of /d\n"
    "                  (-q too, anywhere before --)\n"
    "  --validate=COMMAND\n"
    "                  check each new content with COMMAND (%s stands for its\n"
    "                  file) before it takes the target's place; a failed check\n"
    "                  leaves the target unchanged\n"
    "  --suffix=SUFFIX keep the backup as NAME followed by SUFFIX instead of\n"
    "                  NAME.bak (brings /b)\n"
    "  /j --json       print the report as one JSON document, for a program to\n"
    "                  read; not with /t\n"
    "Any other argument after the instruction file that begins with - or /\n"
    "stops the run before a file is opened, but -t and -T, which only warn\n"
    "that they have no effect; an argument there that begins otherwise only\n"
    "warns too (with /s it stops the run).\n\n"
    "Exit codes:\n"
    "  0  done: every target was edited, or needed no change; also --help\n"
    "     and --version\n"
    "  1  the help screen was shown, the instruction file could not be read,\n"
    "     an option was unknown, or memory ran out\n"
    "  2  done with errors: a target could not be loaded, was changed by\n"
    "     another program meanwhile, or could not be written back; the report\n"
    "     could not be written; or (with /s) the job had a problem\n"
    "  3  no-write mode (/n) without errors: at least one file would change\n";

constexpr std::string_view kSampleName = "SAMPLE.ZT";
constexpr std::string_view kNotWritten = "SAMPLE.ZT not written.\n";
constexpr std::string_view kErrorClosing = "Error closing SAMPLE.ZT.\n";
constexpr std::string_view kCreated = "SAMPLE.ZT successfully created.";
constexpr std::string_view kNotWrittenInPreview = "NO-WRITE mode: SAMPLE.ZT not written";

// The example, as the help screen shows it.
void show_example(platform::Console& console) {
  console.say(kExampleHeading);
  for (std::string_view line : kSampleLines) console.say(kExampleLine, {line});
  console.print("\n");
}
}  // namespace

void show_usage(platform::Console& console) {
  console.say(kHelp);
  show_example(console);
  console.say(kUsage);
}

void show_help(platform::Disk& disk, platform::Console& console, bool no_write) {
  console.say(kHelp);
  console.say(kPressEnter);
  console.wait_for_enter();

  show_example(console);
  console.say(kInvoke);
  std::string sample;
  for (std::string_view line : kSampleLines) sample.append(line).append("\r\n");
  sample.append("\r\n\x1A");  // a blank line, then the end mark

  if (no_write) return console.say(kNotWrittenInPreview);
  const std::string name(kSampleName);
  platform::File file;
  platform::Status reason = disk.create_file(name, file);
  if (!reason) {
    console.say(kNotWritten);
  } else {
    // A write that fails shows up when the file is closed, as it would with buffered output.
    reason = disk.write_all(file, sample);
    platform::Status closed = disk.close_file(file);
    if (reason) reason = closed;
    console.say(reason ? kCreated : kErrorClosing);
  }
  if (!reason) console.error(name, platform::describe(reason));
}

}  // namespace zeltrim
