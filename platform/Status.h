#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace corvina {

// A failure as the system sees it: the number callers test (70: permission denied) and the
// text that the error report shows.
struct Error {
  int32_t number = 0;
  std::string description;
};

// Success, or an Error. Every fallible platform call returns one.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT: implicit on purpose

  static Status Ok() { return Status(); }
  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return error_; }
  int32_t number() const { return failed_ ? error_.number : 0; }
  const std::string& description() const { return error_.description; }

 private:
  Error error_;
  bool failed_ = false;
};

// A value, or the Error that kept it from being made.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : data_(std::move(value)) {}      // NOLINT: implicit on purpose
  Result(Error error) : data_(std::move(error)) {}  // NOLINT: implicit on purpose

  bool ok() const { return data_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return std::get<0>(data_); }
  T& value() & { return std::get<0>(data_); }
  T&& value() && { return std::get<0>(std::move(data_)); }
  const T& operator*() const& { return value(); }
  const T* operator->() const { return &value(); }
  T value_or(T fallback) const { return ok() ? value() : std::move(fallback); }
  const Error& error() const { return std::get<1>(data_); }
  Status status() const { return ok() ? Status() : Status(error()); }

 private:
  std::variant<T, Error> data_;
};

// Error numbers that callers test.
inline constexpr int32_t kErrFileNotFound = 53;
inline constexpr int32_t kErrPermissionDenied = 70;
inline constexpr int32_t kErrPathNotFound = 76;
inline constexpr int32_t kErrFileAlreadyExists = 58;
inline constexpr int32_t kErrTypeMismatch = 13;
inline constexpr int32_t kErrDeviceIO = 57;
inline constexpr int32_t kErrInvalidArgument = 5;  // "Invalid procedure call or argument"

// Turns an errno value into the numbered error the system expects, naming the operation and
// the file ("open /x/y: No such file or directory").
Error ErrnoError(std::string_view operation, int errno_value, std::string_view path = {});

}  // namespace corvina
