// The console on Windows. Standard output stays in text mode, as for every console program
// there: each LF reaches a redirected file as CR LF. Ctrl-C, Ctrl-Break and closing the console
// window remove the temporary file of a write-back in progress before the process ends.
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/console.h"
#include "platform/system.h"

// Arguments reach the program as typed: the runtime must not expand wildcards in them.
extern "C" {
int _dowildcard = 0;
}

namespace zeltrim::platform {

namespace {

// The console's code page before show_utf8, to put back when the run ends or is interrupted.
std::atomic<UINT> saved_code_page{0};

// What the console hands over for Ctrl-C while a key is being read.
constexpr int kCtrlC = 3;
// The first of the two codes that a function or arrow key gives.
constexpr int kExtendedKey = 0x00;
constexpr int kExtendedKeyAlso = 0xE0;

// Removes the temporary file and ends the process at once, as an interrupt does on any
// platform: no further step of the run may follow, so the target stays as it was. The file
// was opened for sharing with deletion, so it goes even while still open.
void end_interrupted() {
  restore_console();
  for (std::size_t slot = 0; slot < kTempSlots; ++slot) {
    if (const char* temp = temp_file_to_remove(slot)) DeleteFileA(temp);
  }
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
}

BOOL WINAPI on_console_event(DWORD) {
  end_interrupted();
  return TRUE;
}

}  // namespace

ConsoleStart start_console() {
  SetConsoleCtrlHandler(on_console_event, TRUE);
  return {.gather = !_isatty(_fileno(stdout)), .lost = {}};
}

void show_utf8() {
  UINT code_page = GetConsoleOutputCP();
  if (code_page == 0 || code_page == CP_UTF8) return;  // no console, or UTF-8 already
  if (SetConsoleOutputCP(CP_UTF8)) saved_code_page.store(code_page);
}

void restore_console() {
  UINT code_page = saved_code_page.exchange(0);
  if (code_page != 0) SetConsoleOutputCP(code_page);
}

void wait_for_enter() {
  // Standard input is in text mode, so the CR LF that Enter gives at the console counts as
  // one byte and answers one wait.
  char byte;
  [[maybe_unused]] int got = _read(_fileno(stdin), &byte, 1);
}

void wait_for_key() {
  // Without a console (input from a file or a pipe) there is no key to wait for.
  DWORD mode;
  if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) return;
  int key = _getch();
  if (key == kExtendedKey || key == kExtendedKeyAlso) {
    _getch();  // the key's second code, which would otherwise answer the next wait
  } else if (key == kCtrlC) {
    end_interrupted();  // the key read takes Ctrl-C as a key; it still means stop
  }
}

// Bytes from a file reach standard output only written.
Status send_to_output(File&, std::uint64_t, std::uint64_t, std::uint64_t& sent) {
  sent = 0;
  return {};
}

Status read_standard_input(std::string& bytes) {
  _setmode(_fileno(stdin), _O_BINARY);
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char block[1 << 16];
  for (DWORD got = 0;; bytes.append(block, got)) {
    if (!ReadFile(input, block, sizeof block, &got, nullptr)) {
      // The writing end of a pipe closed: that is the end of the input.
      DWORD error = GetLastError();
      return error == ERROR_BROKEN_PIPE ? Status() : Status::system(static_cast<long>(error));
    }
    if (got == 0) return {};
  }
}

}  // namespace zeltrim::platform
