#include "platform/FlockNamedMutexes.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdlib>

#include "platform/UniqueFd.h"

namespace corvina {
namespace {

class FlockNamedMutex : public INamedMutex {
 public:
  FlockNamedMutex(UniqueFd fd, bool already_existed)
      : fd_(std::move(fd)), already_existed_(already_existed) {}
  bool AlreadyExisted() const override { return already_existed_; }

 private:
  UniqueFd fd_;  // closing it drops the shared lock
  bool already_existed_;
};

Result<UniqueFd> OpenName(const std::filesystem::path& file, bool create) {
  const int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
  UniqueFd fd(::open(file.c_str(), flags, 0600));
  if (!fd.valid()) return ErrnoError("open", errno, file.string());
  return fd;
}

// Takes the lock, retrying when a signal interrupts the wait.
int Flock(int fd, int operation) {
  int rc;
  do {
    rc = ::flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

}  // namespace

FlockNamedMutexes::FlockNamedMutexes(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::filesystem::path FlockNamedMutexes::DefaultFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    return std::filesystem::path(runtime) / "corvina" / "mutexes";
  }
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
    return std::filesystem::path(config) / "corvina" / "run" / "mutexes";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home ? home : "/tmp") / ".config" / "corvina" / "run" / "mutexes";
}

Result<std::filesystem::path> FlockNamedMutexes::FileOf(std::string_view name) const {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return Error{kErrInvalidArgument, "invalid mutex name \"" + std::string(name) + "\""};
  }
  return folder_ / (std::string(name) + ".lock");
}

Result<std::unique_ptr<INamedMutex>> FlockNamedMutexes::CreateMutex(std::string_view name) {
  Result<std::filesystem::path> file = FileOf(name);
  if (!file.ok()) return file.error();
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  if (ec) return ErrnoError("create folder", ec.value(), folder_.string());
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, ec);
  Result<UniqueFd> fd = OpenName(*file, true);
  if (!fd.ok()) return fd.error();
  const int raw = fd->get();
  // Nobody else holds the name when an exclusive lock is free; the lock then becomes the
  // shared hold. Otherwise the shared hold joins the others.
  bool already_existed = false;
  if (Flock(raw, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return ErrnoError("lock", errno, file->string());
    already_existed = true;
  }
  if (Flock(raw, LOCK_SH) != 0) return ErrnoError("lock", errno, file->string());
  return std::unique_ptr<INamedMutex>(
      std::make_unique<FlockNamedMutex>(std::move(fd).value(), already_existed));
}

Result<bool> FlockNamedMutexes::Exists(std::string_view name) {
  Result<std::filesystem::path> file = FileOf(name);
  if (!file.ok()) return file.error();
  Result<UniqueFd> fd = OpenName(*file, false);
  if (!fd.ok()) {
    if (fd.error().number == kErrFileNotFound || fd.error().number == kErrPathNotFound) {
      return false;
    }
    return fd.error();
  }
  // A hold of any process, this one's included, keeps the exclusive lock from being taken.
  if (Flock(fd->get(), LOCK_EX | LOCK_NB) == 0) return false;
  if (errno == EWOULDBLOCK) return true;
  return ErrnoError("lock", errno, file->string());
}

}  // namespace corvina
