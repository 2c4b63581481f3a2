#pragma once
// Structured logging in the style of os_log format strings.
//
// A Logger has a subsystem and a category. Messages are fixed format strings
// with typed placeholders, kept as written: "%{bool}d" and "%{bool,public}d"
// (a 32-bit integer shown as true/false), "%d", "%f" (double), "%s" (text),
// "%%", with optional privacy marks ("public", "private") kept with the entry.
// Arguments are typed at the call site; a placeholder without an argument, or
// with an argument of another kind, renders as "<missing>" or "<mismatch>"
// and never reads past the arguments given. Numbers render the same in every
// locale ("0.500000").
//
// Entries go to every installed sink. By default that is the systemd journal
// (subsystem and category in fields SUBSYSTEM and CATEGORY, so
// `journalctl SUBSYSTEM=com.quillmoor.Duskwarden` filters them, with the
// level as PRIORITY and the calling line as CODE_FILE, CODE_LINE and
// CODE_FUNC), or stderr when no journal is reachable, each line with a "<N>"
// priority prefix when stderr itself is a journal stream (JOURNAL_STREAM).
// Tests install a MemoryLogSink.
//
// The program takes its loggers from logger(category); tests that check a
// Logger's own behaviour may construct one.

#include "platform/bundle/BuildInfo.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace duskwarden {

// syslog's numbers, which the journal takes as PRIORITY. `default` is a
// keyword, hence defaultLevel; it is syslog's "notice".
enum class LogLevel { error = 3, warning = 4, defaultLevel = 5, info = 6, debug = 7 };

// A format string and the place it was written: converting a string to it at
// a call site records that call site, so the journal names the caller rather
// than the logger.
struct LogFormat {
  template <class S>
    requires std::is_convertible_v<const S&, std::string_view>
  LogFormat(const S& format, std::source_location caller = std::source_location::current())
      : text(format), where(caller) {}
  std::string_view text;
  std::source_location where;
};

using LogArgument = std::variant<std::int64_t, double, std::string>;

struct LogEntry {
  LogLevel level = LogLevel::defaultLevel;
  std::string subsystem;
  std::string category;
  std::string format;                  // the format string as written
  std::string message;                 // rendered
  std::vector<std::string> privacy;    // one per placeholder: "public", "private" or "" (default)
  std::source_location where;          // the logging call
};

// Renders `format` against `args`; fills `privacy` with one mark per placeholder.
std::string renderLogFormat(std::string_view format, const std::vector<LogArgument>& args,
                            std::vector<std::string>* privacy = nullptr);

class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void write(const LogEntry& entry) = 0;  // may be called from any thread
};

// Replaces the process's sinks (thread-safe). Passing an empty list restores the default.
void setLogSinks(std::vector<std::shared_ptr<LogSink>> sinks);
void addLogSink(std::shared_ptr<LogSink> sink);
void removeLogSink(const std::shared_ptr<LogSink>& sink);

// The default sink: journal when reachable, otherwise stderr.
std::shared_ptr<LogSink> makeSystemLogSink();
// Whether the default sink writes to the journal on this machine.
bool journalReachable();

// Keeps entries in memory for tests.
class MemoryLogSink final : public LogSink {
 public:
  void write(const LogEntry& entry) override;
  std::vector<LogEntry> entries() const;
  // Rendered messages, optionally only those of one category.
  std::vector<std::string> messages(std::string_view category = {}) const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<LogEntry> entries_;
};

class Logger {
 public:
  Logger(std::string subsystem, std::string category);

  const std::string& subsystem() const { return subsystem_; }
  const std::string& category() const { return category_; }

  template <class... Args>
  void log(LogFormat format, const Args&... args) const {
    submit(LogLevel::defaultLevel, format, {toArgument(args)...});
  }
  template <class... Args>
  void error(LogFormat format, const Args&... args) const {
    submit(LogLevel::error, format, {toArgument(args)...});
  }

  // Not called emit: Qt defines emit as a macro, which would break any Qt file including this.
  void submit(LogLevel level, LogFormat format, std::vector<LogArgument> args) const;

 private:
  template <class A>
  static LogArgument toArgument(const A& a) {
    if constexpr (std::is_same_v<A, bool>) {
      return static_cast<std::int64_t>(a ? 1 : 0);
    } else if constexpr (std::is_integral_v<A>) {
      return static_cast<std::int64_t>(a);
    } else if constexpr (std::is_floating_point_v<A>) {
      return static_cast<double>(a);
    } else if constexpr (std::is_convertible_v<const A&, const char*>) {
      // A null C string must not bring the process down from a log call.
      const char* s = a;
      return std::string(s ? s : "(null)");
    } else {
      return std::string(a);
    }
  }

  std::string subsystem_;
  std::string category_;
};

// The process's one logger for `category` under `subsystem`, made on first
// use and never destroyed: static destructors and other threads log through
// it. Thread-safe.
const Logger& logger(std::string_view category, std::string_view subsystem = kBundleIdentifier);

}  // namespace duskwarden
