#include "platform/log/Logger.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#ifdef DW_HAVE_SYSTEMD
#include <systemd/sd-journal.h>
#endif

namespace duskwarden {

namespace {

// Parses "{bool,public}" style modifiers right after '%'; returns the position after '}'.
std::size_t parseModifiers(std::string_view f, std::size_t i, bool* isBool, std::string* privacy) {
  if (i >= f.size() || f[i] != '{') return i;
  const auto close = f.find('}', i);
  if (close == std::string_view::npos) return i;
  std::string_view inner = f.substr(i + 1, close - i - 1);
  while (!inner.empty()) {
    const auto comma = inner.find(',');
    std::string_view word = inner.substr(0, comma);
    while (!word.empty() && word.front() == ' ') word.remove_prefix(1);
    while (!word.empty() && word.back() == ' ') word.remove_suffix(1);
    if (word == "bool") *isBool = true;
    if (word == "public" || word == "private") *privacy = std::string(word);
    if (comma == std::string_view::npos) break;
    inner.remove_prefix(comma + 1);
  }
  return close + 1;
}

std::string formatDouble(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%f", v);
  return buf;
}

}  // namespace

std::string renderLogFormat(std::string_view f, const std::vector<LogArgument>& args,
                            std::vector<std::string>* privacy) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') {
      out += f[i];
      continue;
    }
    if (i + 1 < f.size() && f[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    bool isBool = false;
    std::string mark;
    std::size_t j = parseModifiers(f, i + 1, &isBool, &mark);
    // Length modifiers are accepted and ignored: arguments are already typed.
    while (j < f.size() && (f[j] == 'l' || f[j] == 'h' || f[j] == 'z' || f[j] == 'q')) ++j;
    if (j >= f.size()) {  // dangling '%': keep it as text
      out.append(f.substr(i));
      break;
    }
    const char conv = f[j];
    if (conv != 'd' && conv != 'i' && conv != 'u' && conv != 'f' && conv != 's' && conv != '@') {
      out.append(f.substr(i, j - i + 1));  // unknown conversion: shown as written
      i = j;
      continue;
    }
    if (privacy) privacy->push_back(mark);
    i = j;
    if (next >= args.size()) {
      out += "<missing>";
      continue;
    }
    const LogArgument& a = args[next++];
    if (conv == 'f') {
      if (auto* d = std::get_if<double>(&a)) out += formatDouble(*d);
      else if (auto* n = std::get_if<std::int64_t>(&a)) out += formatDouble(static_cast<double>(*n));
      else out += "<mismatch>";
    } else if (conv == 's' || conv == '@') {
      if (auto* s = std::get_if<std::string>(&a)) out += *s;
      else out += "<mismatch>";
    } else {  // d i u
      if (auto* n = std::get_if<std::int64_t>(&a)) {
        if (isBool) out += *n != 0 ? "true" : "false";
        else out += std::to_string(*n);
      } else {
        out += "<mismatch>";
      }
    }
  }
  return out;
}

// ---- sinks ----

namespace {

void writeToStderr(const LogEntry& e) {
  std::fprintf(stderr, "[%s:%s] %s%s\n", e.subsystem.c_str(), e.category.c_str(),
               e.level == LogLevel::error ? "error: " : "", e.message.c_str());
}

class StderrSink final : public LogSink {
 public:
  void write(const LogEntry& e) override { writeToStderr(e); }
};

#ifdef DW_HAVE_SYSTEMD
class JournalSink final : public LogSink {
 public:
  void write(const LogEntry& e) override {
    const int rc = sd_journal_send("MESSAGE=%s", e.message.c_str(), "PRIORITY=%d", e.level == LogLevel::error ? 3 : 5,
                                   "SUBSYSTEM=%s", e.subsystem.c_str(), "CATEGORY=%s", e.category.c_str(),
                                   "MESSAGE_FORMAT=%s", e.format.c_str(), "SYSLOG_IDENTIFIER=duskwarden", nullptr);
    // The socket can exist while journald is gone (stopped, restarting): don't lose the entry.
    if (rc < 0) writeToStderr(e);
  }
};
#endif

struct SinkRegistry {
  std::mutex mutex;
  std::vector<std::shared_ptr<LogSink>> sinks;
  bool initialised = false;
};

SinkRegistry& registry() {
  static auto* r = new SinkRegistry();  // kept to process end: loggers may run in atexit paths
  return *r;
}

std::vector<std::shared_ptr<LogSink>> currentSinks() {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  if (!r.initialised) {
    r.sinks = {makeSystemLogSink()};
    r.initialised = true;
  }
  return r.sinks;
}

}  // namespace

std::shared_ptr<LogSink> makeSystemLogSink() {
#ifdef DW_HAVE_SYSTEMD
  struct stat st {};
  if (::stat("/run/systemd/journal/socket", &st) == 0) return std::make_shared<JournalSink>();
#endif
  return std::make_shared<StderrSink>();
}

void setLogSinks(std::vector<std::shared_ptr<LogSink>> sinks) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.initialised = !sinks.empty();
  r.sinks = std::move(sinks);
}

void addLogSink(std::shared_ptr<LogSink> sink) {
  currentSinks();
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.sinks.push_back(std::move(sink));
}

void removeLogSink(const std::shared_ptr<LogSink>& sink) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.sinks.erase(std::remove(r.sinks.begin(), r.sinks.end(), sink), r.sinks.end());
}

void MemoryLogSink::write(const LogEntry& entry) {
  std::lock_guard lock(mutex_);
  entries_.push_back(entry);
}

std::vector<LogEntry> MemoryLogSink::entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

std::vector<std::string> MemoryLogSink::messages(std::string_view category) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& e : entries_)
    if (category.empty() || e.category == category) out.push_back(e.message);
  return out;
}

void MemoryLogSink::clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

Logger::Logger(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

void Logger::submit(LogLevel level, std::string_view format, std::vector<LogArgument> args) const {
  LogEntry entry;
  entry.level = level;
  entry.subsystem = subsystem_;
  entry.category = category_;
  entry.format = std::string(format);
  entry.message = renderLogFormat(format, args, &entry.privacy);
  for (const auto& sink : currentSinks()) sink->write(entry);
}

}  // namespace duskwarden
