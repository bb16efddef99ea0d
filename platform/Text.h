#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace corvina {

// The text without any of `blanks` at either end.
std::string_view Trim(std::string_view text, std::string_view blanks = " \t");

// ASCII letters in lower case; every other byte, UTF-8 included, as it is. Names in pages,
// projects and help files compare this way, whatever the locale.
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string AsciiLowerCase(std::string_view text);
constexpr bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}
// HTML's white space: space, tab, line feed, form feed, carriage return.
constexpr bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
// Whether the two texts are equal when ASCII letters are compared without their case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix);
// Where `lower` (in lower case) first stands in `text` at or after `from`, ASCII letters
// compared without their case; npos when nowhere.
size_t FindIgnoringCase(std::string_view text, std::string_view lower, size_t from = 0);

// A map keyed by text that is searched with a std::string_view, without making a string.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};
template <typename T>
using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

}  // namespace corvina
