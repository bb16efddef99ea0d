#pragma once

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
// Decodes "%XX" escapes of an address (file:///a%20b -> file:///a b); a "%" not followed by
// two hexadecimal digits stays as it is.
std::string PercentDecode(std::string_view text);
// True when the bytes are valid UTF-8.
bool IsValidUtf8(std::string_view bytes);

}  // namespace corvina
