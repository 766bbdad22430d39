// Loading and writing back arbitrary bytes. The first input byte chooses a byte-order mark to put
// in front (none, UTF-8, UTF-16LE, UTF-16BE, UTF-32BE), whether the rest is stored as it is or
// widened to one code unit per byte, and whether /u and /k are given; the result is the target.
// Then:
// - a target that is refused stays byte-identical, also after the write-back that follows, and
//   so does an accepted one written back in its own form (/k);
// - an accepted target is written back as the written form of what was loaded, and reloading
//   it gives the same lines (an LF that ends a text of an LF-only file becomes the line break,
//   and an empty text and a blank line are the same line on the disk).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_kit.h"
#include "textfile/encoding.h"
#include "textfile/target_file.h"

namespace zeltrim::fuzz {
namespace {

constexpr char kTargetName[] = "T";

constexpr EncodingKind kKinds[] = {EncodingKind::plain, EncodingKind::utf8, EncodingKind::utf16le,
                                   EncodingKind::utf16be, EncodingKind::utf32be};
constexpr std::size_t kKindCount = sizeof kKinds / sizeof kKinds[0];

// A line as the disk keeps it: blank, or a text without an LF that ends it.
std::vector<Loaded> as_on_disk(const std::vector<Loaded>& lines) {
  std::vector<Loaded> kept;
  for (const Loaded& line : lines) {
    std::string_view text = line.text;
    if (text.ends_with('\n')) text.remove_suffix(1);
    bool blank = line.blank || text.empty();
    kept.push_back({blank, blank ? std::string() : std::string(text)});
  }
  return kept;
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

  // Higher bits of the first byte: UTF-16 and UTF-32 edited as UTF-8 (/u), whose units may be
  // any (unwidened bodies give characters above U+00FF and surrogates), and the file's own form
  // kept (/k), in which a target written back without a command comes back byte for byte.
  unsigned char choice = size == 0 ? 0 : data[0];
  TargetOptions options;
  options.unicode = (choice / (2 * kKindCount)) % 2 == 1;
  options.keep_form = (choice / (4 * kKindCount)) % 2 == 1;
  EncodingKind kind = EncodingKind::plain;
  std::optional<std::vector<Loaded>> loaded = load(kTargetName, options, kind);
  std::vector<Loaded> lines = loaded ? *loaded : std::vector<Loaded>();
  std::optional<std::string> written =
      loaded ? written_form(kind, lines, options.unicode) : std::nullopt;
  WriteResult result = write_back(kTargetName, options);
  if (result != WriteResult::written && result != WriteResult::unchanged &&
      result != WriteResult::nothing_to_write) {
    fail("write-back failed", original);
  }
  if (loaded && !written) fail("lines that were read cannot be written", original);
  if (folder_names() != std::vector<std::string>{kTargetName}) fail("a file was left", original);
  std::string on_disk = read_file(kTargetName);
  if (lines.empty() || options.keep_form) {
    // Refused, nothing to write, or written back in its own form: the file is as it was.
    if (on_disk != original) fail("the file did not come back as it was", original);
    return 0;
  }
  if (on_disk != *written) fail("the write-back is not the written form", original);
  std::optional<std::vector<Loaded>> again = load(kTargetName, options, kind);
  if (!again) fail("the written file is refused", on_disk);
  if (as_on_disk(*again) != as_on_disk(lines)) {
    fail("the written file reloads to other lines", original);
  }
  if (written_form(kind, *again, options.unicode) != on_disk) {
    fail("the written form is not a fixed point", original);
  }
  return 0;
}
