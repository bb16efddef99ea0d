#pragma once

#include <memory>
#include <string_view>

#include "platform/Status.h"

namespace corvina {

// One process's hold on a named mutex; the hold ends when this is released, and with the
// process that holds it, however that process ends.
class INamedMutex {
 public:
  virtual ~INamedMutex() = default;
  // Another holder had the mutex already when this one was created.
  virtual bool AlreadyExisted() const = 0;
};

// Named mutexes that every process of the user sees, so that one program can tell that another
// is running (an installer, a second instance of the host). Creating one never waits and never
// takes ownership: it only makes the name exist while the hold lasts.
class INamedMutexes {
 public:
  virtual ~INamedMutexes() = default;
  virtual Result<std::unique_ptr<INamedMutex>> CreateMutex(std::string_view name) = 0;
  // Whether some process (this one included) holds the name.
  virtual Result<bool> Exists(std::string_view name) = 0;
};

}  // namespace corvina
