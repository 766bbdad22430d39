#include "textfile/encoding.h"

namespace zeltrim {

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

std::string_view mark_of(EncodingKind kind) {
  // In the order of EncodingKind.
  static constexpr std::string_view kMarks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF",
                                                std::string_view("\x00\x00\xFE\xFF", 4)};
  return kMarks[static_cast<std::size_t>(kind)];
}

void put_utf8(std::uint32_t code, char*& out) {
  // A lead byte that tells how many bytes of six bits each follow (none for ASCII), then those
  // bytes.
  static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  int following = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
  *out++ = static_cast<char>(kLead[following] | (code >> (6 * following)));
  for (int shift = 6 * (following - 1); shift >= 0; shift -= 6) {
    *out++ = static_cast<char>(0x80 | ((code >> shift) & 0x3F));
  }
}

namespace {
constexpr std::uint32_t kHighSurrogates = 0xD800;
constexpr std::uint32_t kLowSurrogates = 0xDC00;
constexpr std::uint32_t kPastSurrogates = 0xE000;
constexpr std::uint32_t kPastUnicode = 0x110000;
constexpr std::uint32_t kPastNarrowed = 0x100;

// The next character of UTF-8 text, strictly: no overlong form, no surrogate, nothing above
// U+10FFFF, no sequence cut short. False when there is none such at `at`.
bool next_utf8(std::string_view text, std::size_t& at, std::uint32_t& code) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || at + length > text.size() || lead > 0xF4) return false;
  code = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return false;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kShortest[length] || code >= kPastUnicode ||
      (code >= kHighSurrogates && code < kPastSurrogates)) {
    return false;
  }
  at += length;
  return true;
}

void put_unit(EncodingKind kind, std::uint32_t unit, std::string& out) {
  std::size_t size = unit_size(kind);
  for (std::size_t at = 0; at < size; ++at) {
    // Little-endian puts the lowest byte first, big-endian the highest.
    std::size_t byte = kind == EncodingKind::utf16le ? at : size - 1 - at;
    out.push_back(static_cast<char>((unit >> (8 * byte)) & 0xFF));
  }
}

// The character one code unit stands for, as decode_units appends it; why it cannot be carried,
// where it cannot.
std::optional<platform::Loss> decode_unit(EncodingKind kind, std::uint32_t unit, bool unicode,
                                          std::uint32_t& pending, char*& out) {
  if (unit == 0) return platform::Loss::zero_character;
  if (!unicode) {
    if (unit >= kPastNarrowed) return platform::Loss::above_latin1;
    *out++ = static_cast<char>(unit);
    return std::nullopt;
  }
  bool high = unit >= kHighSurrogates && unit < kLowSurrogates;
  bool low = unit >= kLowSurrogates && unit < kPastSurrogates;
  if (pending != 0) {
    if (!low) return platform::Loss::lone_surrogate;
    put_utf8(0x10000 + ((pending - kHighSurrogates) << 10) + (unit - kLowSurrogates), out);
    pending = 0;
    return std::nullopt;
  }
  if (high && kind != EncodingKind::utf32be) {
    pending = unit;
    return std::nullopt;
  }
  // A surrogate alone is no character: in UTF-32 neither half may stand, in UTF-16 a low one
  // without its high one.
  if (high || low) return platform::Loss::lone_surrogate;
  if (unit >= kPastUnicode) return platform::Loss::beyond_unicode;
  put_utf8(unit, out);
  return std::nullopt;
}
}  // namespace

std::optional<platform::Loss> decode_units(EncodingKind kind, std::string_view bytes, bool unicode,
                                           std::uint32_t& pending, char*& out) {
  std::size_t size = unit_size(kind);
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  for (const auto* end = in + bytes.size() / size * size; in != end; in += size) {
    std::uint32_t unit = 0;
    if (kind == EncodingKind::utf16le) {
      unit = in[0] | (in[1] << 8);
    } else {
      for (std::size_t b = 0; b < size; ++b) unit = (unit << 8) | in[b];
    }
    if (auto loss = decode_unit(kind, unit, unicode, pending, out)) return loss;
  }
  return std::nullopt;
}

std::optional<std::string> read_marked_text(std::string_view bytes, bool unicode,
                                            platform::Status& reason) {
  EncodingKind kind = encoding_from_mark(bytes);
  if (kind == EncodingKind::plain || kind == EncodingKind::utf32be) return std::string(bytes);
  if (kind == EncodingKind::utf8) return std::string(bytes.substr(mark_of(kind).size()));
  std::string text(bytes.size() / 2 * kMostBytesPerUnit, '\0');
  char* out = text.data();
  std::uint32_t pending = 0;
  // The UTF-16 mark takes two bytes: an odd count is a last unit cut short, or the single byte
  // FF, a mark cut short.
  std::optional<platform::Loss> loss =
      bytes.size() % 2 != 0
          ? platform::Loss::broken_unit
          : decode_units(kind, bytes.substr(mark_of(kind).size()), unicode, pending, out);
  if (!loss && pending != 0) loss = platform::Loss::lone_surrogate;
  if (loss) {
    reason = platform::Status::lossy(*loss);
    return std::nullopt;
  }
  text.resize(static_cast<std::size_t>(out - text.data()));
  return text;
}

bool append_utf8_encoded(EncodingKind kind, std::string_view text, std::string& out) {
  if (unit_size(kind) == 1) {
    out.append(text);
    return true;
  }
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t code = 0;
    if (!next_utf8(text, at, code)) return false;
    if (kind != EncodingKind::utf32be && code >= 0x10000) {
      code -= 0x10000;
      put_unit(kind, kHighSurrogates + (code >> 10), out);
      put_unit(kind, kLowSurrogates + (code & 0x3FF), out);
    } else {
      put_unit(kind, code, out);
    }
  }
  return true;
}

bool is_utf8(std::string_view text) {
  std::uint32_t code = 0;
  for (std::size_t at = 0; at < text.size();) {
    if (!next_utf8(text, at, code)) return false;
  }
  return true;
}

void append_encoded(EncodingKind kind, std::string_view text, std::string& out) {
  std::size_t unit = unit_size(kind);
  if (unit == 1) {
    out.append(text);
    return;
  }
  // Each byte becomes one code unit of the same value: zeros, then the byte at the
  // little-endian start or the big-endian end of the unit.
  std::size_t at = out.size() + (kind == EncodingKind::utf16le ? 0 : unit - 1);
  out.resize(out.size() + text.size() * unit, '\0');
  for (char byte : text) {
    out[at] = byte;
    at += unit;
  }
}

}  // namespace zeltrim
