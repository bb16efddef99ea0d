#pragma once

// Numbers of hh's messages, printed in the Workshop form "HHCnnnn: Error: text" or
// "HHCnnnn: Warning: text" so that the log window finds them.
namespace corvina::workshop::hh_messages {

inline constexpr int kCannotOpenInput = 6001;
inline constexpr int kNotAHelpFile = 6002;
inline constexpr int kCannotOpenOutput = 6003;
inline constexpr int kDamagedDirectory = 6004;
inline constexpr int kNameOutsideFolder = 6005;
inline constexpr int kSymbolicLink = 6006;
inline constexpr int kCannotRead = 6007;
inline constexpr int kCannotWrite = 6008;
inline constexpr int kOutputTooLarge = 6009;
inline constexpr int kNameTooLong = 6010;

}  // namespace corvina::workshop::hh_messages
