// Loading and writing back arbitrary bytes. The first input byte chooses a byte-order mark to put
// in front (none, UTF-8, UTF-16LE, UTF-16BE, UTF-32BE) and whether the rest is stored as it is or
// widened to one code unit per byte; the result is the target. Then:
// - a target that is refused stays byte-identical, also after the write-back that follows;
// - an accepted target is written back as the written form of what was loaded, and reloading
//   it gives the same lines (an LF that ends a text of an LF-only file becomes the line break,
//   and an empty text and a blank line are the same line on the disk).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_kit.h"
#include "lines/line_list.h"
#include "target/encoding.h"
#include "target/target_file.h"

namespace zeltrim::fuzz {
namespace {

constexpr char kTargetName[] = "T";

constexpr EncodingKind kKinds[] = {EncodingKind::plain, EncodingKind::utf8, EncodingKind::utf16le,
                                   EncodingKind::utf16be, EncodingKind::utf32be};
constexpr std::size_t kKindCount = sizeof kKinds / sizeof kKinds[0];

// A line as the disk keeps it: blank, or a text without an LF that ends it.
using Line = std::pair<bool, std::string>;

std::vector<Line> loaded_lines() {
  std::vector<Line> lines;
  for (const LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) {
    std::string_view text = entry->text();
    if (text.ends_with('\n')) text.remove_suffix(1);
    bool blank = entry->kind == EntryKind::blank || text.empty();
    lines.emplace_back(blank, blank ? std::string() : std::string(text));
  }
  return lines;
}

std::string make_target(std::string_view input) {
  unsigned char choice = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
  std::string_view body = input.empty() ? input : input.substr(1);
  EncodingKind kind = kKinds[choice % kKindCount];
  bool widen = (choice / kKindCount) % 2 == 1;
  std::string target(mark_of(kind));
  if (widen) {
    append_encoded(kind, body, target);
  } else {
    target.append(body);
  }
  return target;
}

}  // namespace
}  // namespace zeltrim::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zeltrim;
  using namespace zeltrim::fuzz;
  std::string original = make_target(std::string_view(reinterpret_cast<const char*>(data), size));
  InPrivateFolder in_private_folder;
  clear_folder();
  if (!write_file(kTargetName, original)) fail("cannot store the target");

  reset_state();
  bool accepted = get_target_file(kTargetName, 0) == 1;
  std::vector<Line> lines = loaded_lines();
  std::string written = written_form();
  if (!accepted && !lines.empty()) fail("a refused target left lines behind", original);
  if (put_target_file(kTargetName) != 1) fail("write-back failed", original);
  reset_state();

  if (folder_names() != std::vector<std::string>{kTargetName}) fail("a file was left", original);
  std::string on_disk = read_file(kTargetName);
  if (lines.empty()) {
    // Refused, or nothing to write: the file is not touched.
    if (on_disk != original) fail("a target with no lines was changed", original);
    return 0;
  }
  if (on_disk != written) fail("the write-back is not the written form", original);
  if (!get_target_file(kTargetName, 0)) fail("the written file is refused", on_disk);
  std::vector<Line> reloaded = loaded_lines();
  std::string rewritten = written_form();
  reset_state();
  if (reloaded != lines) fail("the written file reloads to other lines", original);
  if (rewritten != on_disk) fail("the written form is not a fixed point", original);
  return 0;
}
