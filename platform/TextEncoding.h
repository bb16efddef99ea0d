#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvina {

// Text inside the program is UTF-8; generated files are Windows-1252. A character that
// Windows-1252 lacks, and a byte that is not valid UTF-8, become "?", as the Windows
// conversion does.
std::string Utf8ToAnsi(std::string_view utf8);
// The same, converting the text where it stands (a large generated file is not copied).
void Utf8ToAnsiInPlace(std::string& text);
std::string AnsiToUtf8(std::string_view ansi);
// True when Windows-1252 holds every character of the UTF-8 text.
bool FitsAnsi(std::string_view utf8);
// Decodes "%XX" escapes of an address (file:///a%20b -> file:///a b); a "%" not followed by
// two hexadecimal digits stays as it is.
std::string PercentDecode(std::string_view text);
// True when the bytes are valid UTF-8.
bool IsValidUtf8(std::string_view bytes);
// Decodes the UTF-8 sequence at text[i] and moves i past it; a malformed sequence gives -1 and
// moves i one byte on.
int32_t DecodeUtf8At(std::string_view text, size_t& i);
// The Windows-1252 byte of a code point, or -1 when the code page lacks it.
int UnicodeToAnsiByte(uint32_t code_point);
// The code point of a Windows-1252 byte; the five bytes the code page leaves undefined map to
// themselves, as the Windows conversion does.
uint32_t AnsiByteToUnicode(uint8_t byte);

// Reads bytes as text: every valid UTF-8 sequence passes unchanged and every other byte is
// read as Windows-1252, the code page of the Windows tools. Fed in pieces (a child's output), a
// sequence cut by the end of a piece waits for the next one, unless the piece is the last.
class Utf8OrWindows1252Decoder {
 public:
  // Text that is plain ASCII, with nothing pending, needs no decoding.
  bool PassesUnchanged(std::string_view bytes) const;
  std::string Decode(std::string_view bytes, bool final);

 private:
  std::string pending_;
};
// The same for a whole text at once.
std::string DecodeUtf8OrWindows1252(std::string_view bytes);

// `bytes` in the charset a page declares (`label`: "koi8-r", "iso-8859-2", "shift_jis", "utf-16"
// with its byte-order mark...) as UTF-8, through the system's converters. A byte sequence the
// charset does not hold reads as U+FFFD, one cut off by the end is dropped. Nothing when the
// system knows no such charset.
std::optional<std::string> CharsetToUtf8(std::string_view label, std::string_view bytes);

// Appends the code point in UTF-8; one beyond U+10FFFF or a surrogate as U+FFFD.
void AppendUtf8(std::string& out, uint32_t code);

}  // namespace corvina
