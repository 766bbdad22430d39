#include "target/encoding.h"

#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"

namespace zeltrim {

namespace {
constexpr std::size_t kMarkProbe = 4;
}  // namespace

EncodingKind encoding_from_mark(std::string_view first_bytes) {
  // Each position past the end counts as -1, and the sums wrap as 32-bit integers do: that is
  // how the kinds have always been told apart, odd cases included (a file of the single byte FF
  // is UTF-16BE; FF FE 00 00 is UTF-16LE, since the 16-bit mark is looked at first).
  std::int64_t b[kMarkProbe];
  for (std::size_t i = 0; i < kMarkProbe; ++i) {
    b[i] = i < first_bytes.size() ? static_cast<unsigned char>(first_bytes[i]) : -1;
  }
  std::int64_t w = b[0] * 256 + b[1];
  if (w == 0xFFFE) return EncodingKind::utf16le;
  if (w == 0xFEFF) return EncodingKind::utf16be;
  std::int64_t t = w * 256 + b[2];
  std::uint32_t q = static_cast<std::uint32_t>(t * 256 + b[3]);
  if (q == 0x0000FEFFu) return EncodingKind::utf32be;
  if (t == 0xEFBBBF) return EncodingKind::utf8;
  return EncodingKind::plain;
}

EncodingKind detect_encoding(const std::string& path, EncodingKind previous) {
  platform::File file;
  if (!platform::open_for_reading(path, platform::Accept::regular_file, file)) return previous;
  char first[kMarkProbe];
  std::size_t got = 0;
  while (got < kMarkProbe) {
    std::size_t n = 0;
    if (!platform::read_some(file, first + got, kMarkProbe - got, n) || n == 0) break;
    got += n;
  }
  return encoding_from_mark(std::string_view(first, got));
}

std::optional<std::string> narrow_marked_text(std::string_view bytes) {
  EncodingKind kind = encoding_from_mark(bytes);
  if (kind != EncodingKind::utf8 && kind != EncodingKind::utf16le &&
      kind != EncodingKind::utf16be) {
    return std::string(bytes);
  }
  bytes.remove_prefix(mark_of(kind).size());
  if (kind == EncodingKind::utf8) return std::string(bytes);
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::string text(bytes.size() / 2, '\0');
  std::size_t high = kind == EncodingKind::utf16le ? 1 : 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char low = bytes[2 * i + 1 - high];
    if (bytes[2 * i + high] != '\0' || low == '\0') return std::nullopt;
    text[i] = low;
  }
  return text;
}

std::string_view mark_of(EncodingKind kind) {
  switch (kind) {
    case EncodingKind::utf8:
      return "\xEF\xBB\xBF";
    case EncodingKind::utf16le:
      return "\xFF\xFE";
    case EncodingKind::utf16be:
      return "\xFE\xFF";
    case EncodingKind::utf32be:
      return std::string_view("\x00\x00\xFE\xFF", 4);
    case EncodingKind::plain:
      break;
  }
  return {};
}

std::size_t unit_size(EncodingKind kind) {
  switch (kind) {
    case EncodingKind::utf16le:
    case EncodingKind::utf16be:
      return 2;
    case EncodingKind::utf32be:
      return 4;
    case EncodingKind::plain:
    case EncodingKind::utf8:
      break;
  }
  return 1;
}

void append_encoded(EncodingKind kind, std::string_view text, std::string& out) {
  std::size_t unit = unit_size(kind);
  if (unit == 1) {
    out.append(text);
    return;
  }
  // Each byte becomes one code unit of the same value: zeros, then the byte at the
  // little-endian start or the big-endian end of the unit.
  std::size_t at = out.size();
  out.resize(at + text.size() * unit, '\0');
  std::size_t offset = kind == EncodingKind::utf16le ? 0 : unit - 1;
  for (char byte : text) {
    out[at + offset] = byte;
    at += unit;
  }
}

}  // namespace zeltrim
