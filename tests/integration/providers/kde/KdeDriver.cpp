// Drives the KDE backend for the Python tests in this directory, which start
// the real KWin: one command a line on stdin, answers on stdout.
//   status    -> "= on" | "= off" | "= unreadable"
//   strength  -> "= 0.250" | "= unreadable"
//   on | off | set STRENGTH -> "= done"
// Between answers, from the backend's own threads: "callback" after each
// status callback, "log LEVEL MESSAGE" for each provider message.
#include <chrono>
#include <cstdio>
#include <future>
#include <iostream>
#include <mutex>
#include <string>

#include "backendkit/Log.h"
#include "kde/KdeBackend.h"

#if defined(__SANITIZE_THREAD__)
// GLib is not built for ThreadSanitizer and syncs its GDBus worker thread
// with futexes it cannot see: races reported inside GLib are not ours.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libglib-2.0.so\ncalled_from_lib:libgio-2.0.so\ncalled_from_lib:libgobject-2.0.so\n";
}
#endif

namespace {

std::mutex outputMutex;

void say(const std::string& line) {
  std::lock_guard lock(outputMutex);
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace

int main() {
  using duskwarden::provider::kde::KdeBackend;
  duskwarden::provider::setLogFunction(
      [](void*, int level, const char* message) { say("log " + std::to_string(level) + " " + message); }, nullptr);
  auto backend = KdeBackend::create();
  if (!backend) {
    say("= create failed");
    return 1;
  }
  // KWin's object is read when it answers, never waited for by create(): ready once it has been.
  // A read before the callback was set called nobody, so the state is asked as well.
  std::promise<void> read;
  std::once_flag first;
  backend->setStatusCallback([&] {
    say("callback");
    std::call_once(first, [&] { read.set_value(); });
  });
  const auto called = read.get_future();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (bool enabled = false; called.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready &&
                             !backend->readEnabled(&enabled);) {
    if (std::chrono::steady_clock::now() > deadline) {
      say("= KWin's object was not read");
      return 1;
    }
  }
  say("= ready");
  for (std::string command; std::getline(std::cin, command);) {
    if (command == "status") {
      bool enabled = false;
      say(!backend->readEnabled(&enabled) ? "= unreadable" : enabled ? "= on" : "= off");
    } else if (command == "strength") {
      float strength = 0;
      char text[32] = "= unreadable";
      if (backend->readStrength(&strength)) std::snprintf(text, sizeof text, "= %.3f", static_cast<double>(strength));
      say(text);
    } else if (command == "on" || command == "off") {
      backend->setEnabled(command == "on");
      say("= done");
    } else if (command.rfind("set ", 0) == 0) {
      backend->setStrength(std::stof(command.substr(4)), true);
      say("= done");
    } else {
      say("= unknown command");
    }
  }
  backend.reset();  // no callback after this
  return 0;
}
