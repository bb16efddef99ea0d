#include "platform/TextEncoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace corvina {
namespace {

// Code points of Windows-1252 bytes 0x80..0x9F; 0 where the code page has no character.
constexpr std::array<uint16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The end of the run of ASCII bytes that starts at text[from], eight bytes at a time: pages
// and generated files are mostly ASCII, which every conversion here passes as it is.
size_t AsciiRunEnd(std::string_view text, size_t from) {
  constexpr uint64_t kHighBits = 0x8080808080808080u;
  size_t i = from;
  for (; i + sizeof(uint64_t) <= text.size(); i += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    if ((word & kHighBits) != 0) break;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80)
    ++i;
  return i;
}

// Decodes one UTF-8 sequence at text[i]; returns the code point and advances i, or returns
// -1 (and advances one byte) for a malformed sequence.
int32_t DecodeUtf8(std::string_view text, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  int length = 0;
  int32_t cp = 0;
  int32_t min = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    ++i;
    return -1;
  }
  if (i + length > text.size()) {
    ++i;
    return -1;
  }
  for (int k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return -1;
  }
  i += length;
  return cp;
}

// Number of bytes of the UTF-8 sequence that starts at bytes[0], when it is a valid one;
// 0 when it is not; -1 when the bytes end before a valid sequence could be complete.
int SequenceLength(std::string_view bytes) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = byte(0);
  int length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if (static_cast<size_t>(i) >= bytes.size()) return -1;
    unsigned char c = byte(i);
    if (i == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return 0;
  }
  return length;
}

}  // namespace

void Utf8ToAnsiInPlace(std::string& text) {
  // Every sequence gives one byte, so the output never overtakes the input.
  // ASCII stays as it is: skip the leading run, then copy runs without decoding them.
  size_t i = AsciiRunEnd(text, 0);
  size_t write = i;
  while (i < text.size()) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      const size_t end = AsciiRunEnd(text, i);
      std::memmove(text.data() + write, text.data() + i, end - i);
      write += end - i;
      i = end;
      continue;
    }
    const int32_t cp = DecodeUtf8(text, i);
    char mapped = '?';
    if (cp >= 0 && (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))) {
      mapped = static_cast<char>(cp);
    } else {
      for (size_t k = 0; k < kHigh.size(); ++k) {
        if (cp > 0 && kHigh[k] == cp) {
          mapped = static_cast<char>(0x80 + k);
          break;
        }
      }
    }
    text[write++] = mapped;
  }
  text.resize(write);
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out(utf8);
  Utf8ToAnsiInPlace(out);
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 8);
  for (char c : ansi) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80) {
      out += c;
    } else if (b < 0xA0) {
      AppendUtf8(out, kHigh[b - 0x80] ? kHigh[b - 0x80] : b);
    } else {
      AppendUtf8(out, b);
    }
  }
  return out;
}

std::string PercentDecode(std::string_view text) {
  const auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

int32_t DecodeUtf8At(std::string_view text, size_t& i) {
  return DecodeUtf8(text, i);
}

int UnicodeToAnsiByte(uint32_t code_point) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
    return static_cast<int>(code_point);
  }
  for (size_t k = 0; k < kHigh.size(); ++k) {
    if (code_point != 0 && kHigh[k] == code_point) return static_cast<int>(0x80 + k);
  }
  return -1;
}

uint32_t AnsiByteToUnicode(uint8_t byte) {
  if (byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] != 0) return kHigh[byte - 0x80];
  return byte;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t i = AsciiRunEnd(bytes, 0);
  while (i < bytes.size()) {
    if (DecodeUtf8(bytes, i) < 0) return false;
    i = AsciiRunEnd(bytes, i);
  }
  return true;
}

bool Utf8OrWindows1252Decoder::PassesUnchanged(std::string_view bytes) const {
  return pending_.empty() && AsciiRunEnd(bytes, 0) == bytes.size();
}

std::string Utf8OrWindows1252Decoder::Decode(std::string_view bytes, bool final) {
  std::string input;
  if (!pending_.empty()) {
    input = pending_ + std::string(bytes);
    pending_.clear();
    bytes = input;
  }
  std::string text;
  text.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    size_t plain = i;
    while (plain < bytes.size() && static_cast<unsigned char>(bytes[plain]) < 0x80)
      ++plain;
    text.append(bytes.substr(i, plain - i));
    i = plain;
    if (i == bytes.size()) break;
    int length = SequenceLength(bytes.substr(i));
    if (length < 0 && !final) {
      pending_ = std::string(bytes.substr(i));
      break;
    }
    if (length <= 0) {
      text += AnsiToUtf8(bytes.substr(i, 1));
      ++i;
    } else {
      text.append(bytes.substr(i, static_cast<size_t>(length)));
      i += static_cast<size_t>(length);
    }
  }
  return text;
}

std::string DecodeUtf8OrWindows1252(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  Utf8OrWindows1252Decoder decoder;
  return decoder.Decode(bytes, true);
}

bool FitsAnsi(std::string_view utf8) {
  if (AsciiRunEnd(utf8, 0) == utf8.size()) return true;
  return AnsiToUtf8(Utf8ToAnsi(utf8)) == utf8;
}

namespace {

// The converter for the charset asked for last, kept for the next call on the thread: a site's
// pages mostly share one charset, and opening a converter loads the charset's module anew
// once the last one was closed. A charset the system lacks is remembered too.
class LastConverter {
 public:
  LastConverter() = default;
  LastConverter(const LastConverter&) = delete;
  LastConverter& operator=(const LastConverter&) = delete;
  ~LastConverter() { Close(); }

  // The converter from `label` to UTF-8 in its initial state, or null.
  iconv_t For(const std::string& label) {
    if (label != label_) {
      Close();
      label_ = label;
      converter_ = iconv_open("UTF-8", label.c_str());
    } else if (converter_ != kNone) {
      iconv(converter_, nullptr, nullptr, nullptr, nullptr);
    }
    return converter_ == kNone ? nullptr : converter_;
  }

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  void Close() {
    if (converter_ != kNone) iconv_close(converter_);
    converter_ = kNone;
  }
  std::string label_;
  iconv_t converter_ = kNone;
};

}  // namespace

std::optional<std::string> CharsetToUtf8(std::string_view label, std::string_view bytes) {
  const std::string from(label);
  if (from.empty() || from.find('\0') != std::string::npos || from.find('/') != std::string::npos) {
    return std::nullopt;
  }
  thread_local LastConverter last;
  iconv_t converter = last.For(from);
  if (converter == nullptr) return std::nullopt;
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char buffer[4096];
  while (in_left > 0) {
    char* put = buffer;
    size_t put_left = sizeof buffer;
    const size_t done = iconv(converter, &in, &in_left, &put, &put_left);
    out.append(buffer, static_cast<size_t>(put - buffer));
    if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
    if (errno != EILSEQ) break;  // EINVAL: a sequence cut off by the end
    out += "\xEF\xBF\xBD";
    ++in;
    --in_left;
  }
  return out;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace corvina
