// A console program for the process runner's tests. It runs its arguments as a script of
// steps, in order:
//   out TEXT / err TEXT   write TEXT to standard output / standard error at once (escapes
//                         \n \r \t \\ and \xHH are understood)
//   flood N               write N bytes of numbered 64-byte lines to standard output
//   exit N                exit with code N
//   crash                 abort
//   sleep                 wait forever
//   spawn-sleeper         start a child of its own that waits forever, holding the output
//   ignore-term           ignore SIGTERM from here on
//   cwd                   write the current folder and a line feed
//   args ...              write each remaining argument as [argument] and a line feed
//   ids-to N              write the process's id, its parent's and its session's, and a
//                         line feed, to descriptor N
//   tty                   write which of standard input, output and error are terminals and
//                         whether there is a controlling terminal, as "tty 111 ctty"
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n <= 0) std::_Exit(120);
    text.remove_prefix(static_cast<size_t>(n));
  }
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char next = text[++i];
    if (next == 'n') {
      out += '\n';
    } else if (next == 'r') {
      out += '\r';
    } else if (next == 't') {
      out += '\t';
    } else if (next == 'x' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += next;
    }
  }
  return out;
}

void Flood(long long total) {
  std::string block;
  for (int line = 0; line < 1024; ++line) {
    char text[65];
    std::snprintf(text, sizeof text, "%08d %054d\n", line, 0);
    block += text;
  }
  while (total > 0) {
    size_t n =
        static_cast<size_t>(std::min<long long>(total, static_cast<long long>(block.size())));
    WriteAll(1, std::string_view(block).substr(0, n));
    total -= static_cast<long long>(n);
  }
}

[[noreturn]] void SleepForever() {
  while (true)
    ::pause();
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string_view step = argv[i];
    auto next = [&]() -> std::string_view { return i + 1 < argc ? argv[++i] : ""; };
    if (step == "out") {
      WriteAll(1, Unescape(next()));
    } else if (step == "err") {
      WriteAll(2, Unescape(next()));
    } else if (step == "flood") {
      Flood(std::atoll(std::string(next()).c_str()));
    } else if (step == "exit") {
      return std::atoi(std::string(next()).c_str());
    } else if (step == "crash") {
      std::abort();
    } else if (step == "sleep") {
      SleepForever();
    } else if (step == "spawn-sleeper") {
      if (::fork() == 0) SleepForever();
    } else if (step == "ignore-term") {
      ::signal(SIGTERM, SIG_IGN);
    } else if (step == "cwd") {
      char buffer[4096];
      if (::getcwd(buffer, sizeof buffer) == nullptr) return 121;
      WriteAll(1, std::string(buffer) + "\n");
    } else if (step == "ids-to") {
      const int fd = std::atoi(std::string(next()).c_str());
      WriteAll(fd, std::to_string(::getpid()) + " " + std::to_string(::getppid()) + " " +
                       std::to_string(::getsid(0)) + "\n");
    } else if (step == "tty") {
      std::string text = "tty ";
      for (int fd = 0; fd < 3; ++fd)
        text += ::isatty(fd) ? '1' : '0';
      const int tty = ::open("/dev/tty", O_RDONLY | O_CLOEXEC);
      text += tty >= 0 ? " ctty\n" : " none\n";
      if (tty >= 0) ::close(tty);
      WriteAll(1, text);
    } else if (step == "args") {
      while (i + 1 < argc)
        WriteAll(1, "[" + std::string(argv[++i]) + "]\n");
    } else {
      WriteAll(2, "corvina_test_child: unknown step " + std::string(step) + "\n");
      return 122;
    }
  }
  return 0;
}
