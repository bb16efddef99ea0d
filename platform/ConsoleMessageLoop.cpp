#include "platform/ConsoleMessageLoop.h"

#include <signal.h>

#include <csignal>

namespace corvina {
namespace {

volatile std::sig_atomic_t g_interrupt = 0;
struct sigaction g_previous_int;
struct sigaction g_previous_term;
struct sigaction g_previous_hup;

void OnInterrupt(int signal_number) {
  g_interrupt = signal_number;
}

}  // namespace

ConsoleMessageLoop::~ConsoleMessageLoop() {
  if (!catching_) return;
  ::sigaction(SIGINT, &g_previous_int, nullptr);
  ::sigaction(SIGTERM, &g_previous_term, nullptr);
  ::sigaction(SIGHUP, &g_previous_hup, nullptr);
}

void ConsoleMessageLoop::CatchInterrupts() {
  if (catching_) return;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &g_previous_int);
  ::sigaction(SIGTERM, &action, &g_previous_term);
  ::sigaction(SIGHUP, &action, &g_previous_hup);
  catching_ = true;
}

void ConsoleMessageLoop::DoEvents() {
  ++calls_;
  if (on_events) on_events();
  if (g_interrupt == 0) return;
  const int signal_number = g_interrupt;
  g_interrupt = 0;
  if (on_interrupt) on_interrupt(signal_number);
}

}  // namespace corvina
