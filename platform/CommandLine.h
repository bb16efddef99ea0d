#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvina {

// Splits a command line into arguments the way Windows programs do. The program name (the
// first token) ends at the next blank or tab, or, when it starts with a double quote, at the
// next double quote; backslashes in it are plain characters. In the other arguments blanks
// and tabs separate outside double quotes; 2n backslashes before a double quote give n
// backslashes and the quote opens or closes a quoted part; 2n+1 give n backslashes and a
// literal quote; "" inside a quoted part gives one literal quote; other backslashes are kept.
std::vector<std::string> SplitCommandLine(std::string_view line);

// Quotes one argument so that SplitCommandLine gives it back unchanged: as it is when it holds
// no blank, tab or double quote and is not empty, else between double quotes with the
// backslashes before a quote doubled.
std::string QuoteCommandLineArgument(std::string_view argument);

}  // namespace corvina
