#include "platform/log/Logger.h"

#include "base/decimal/Decimal.h"
#include "platform/log/PrintableText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#ifdef DW_HAVE_SYSTEMD
// Without it sd_journal_sendv adds this file's own CODE_FILE and CODE_LINE.
#define SD_JOURNAL_SUPPRESS_LOCATION
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

std::string formatDouble(double v) { return decimal::fixed(v, 6); }

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
      // Text from outside must not reorder or break the line it lands in.
      if (auto* s = std::get_if<std::string>(&a)) out += printableText(*s);
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

// systemd names a service's stderr stream "device:inode" in JOURNAL_STREAM;
// an inherited variable over a stderr redirected elsewhere does not count.
bool stderrIsJournalStream() {
  const char* value = std::getenv("JOURNAL_STREAM");
  if (value == nullptr) return false;
  const std::string_view text(value);
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const char* middle = text.data() + colon;
  const char* end = text.data() + text.size();
  unsigned long long device = 0, inode = 0;
  const auto first = std::from_chars(text.data(), middle, device);
  const auto second = std::from_chars(middle + 1, end, inode);
  if (first.ec != std::errc{} || first.ptr != middle || second.ec != std::errc{} || second.ptr != end) return false;
  struct stat st {};
  return ::fstat(STDERR_FILENO, &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

// A "<N>" prefix tells the journal's stream reader the line's priority.
void writeToStderr(const LogEntry& e, bool priorityPrefix) {
  char prefix[8] = "";
  if (priorityPrefix) std::snprintf(prefix, sizeof prefix, "<%d>", static_cast<int>(e.level));
  std::fprintf(stderr, "%s[%s:%s] %s%s\n", prefix, e.subsystem.c_str(), e.category.c_str(),
               e.level == LogLevel::error ? "error: " : "", e.message.c_str());
}

class StderrSink final : public LogSink {
 public:
  explicit StderrSink(bool priorityPrefix) : priorityPrefix_(priorityPrefix) {}
  void write(const LogEntry& e) override { writeToStderr(e, priorityPrefix_); }

 private:
  bool priorityPrefix_;
};

#ifdef DW_HAVE_SYSTEMD
// The message as printed and the caller's place; the os_log format is left
// out, its placeholders mean nothing to journal readers.
std::vector<std::string> journalFields(const LogEntry& e) {
  std::vector<std::string> fields = {
      "MESSAGE=" + e.message,
      "PRIORITY=" + std::to_string(static_cast<int>(e.level)),
      "SUBSYSTEM=" + e.subsystem,
      "CATEGORY=" + e.category,
      "SYSLOG_IDENTIFIER=duskwarden",
  };
  if (*e.where.file_name() != '\0') {
    fields.push_back(std::string("CODE_FILE=") + e.where.file_name());
    fields.push_back("CODE_LINE=" + std::to_string(e.where.line()));
    fields.push_back(std::string("CODE_FUNC=") + e.where.function_name());
  }
  return fields;
}

class JournalSink final : public LogSink {
 public:
  explicit JournalSink(bool stderrIsJournal) : stderrIsJournal_(stderrIsJournal) {}
  void write(const LogEntry& e) override {
    std::vector<std::string> fields = journalFields(e);
    std::vector<iovec> parts;
    for (auto& field : fields) parts.push_back({field.data(), field.size()});
    // The socket can exist while journald is gone (stopped, restarting): don't lose the entry.
    if (sd_journal_sendv(parts.data(), static_cast<int>(parts.size())) < 0) writeToStderr(e, stderrIsJournal_);
  }

 private:
  bool stderrIsJournal_;
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

bool journalReachable() {
#ifdef DW_HAVE_SYSTEMD
  struct stat st {};
  return ::stat("/run/systemd/journal/socket", &st) == 0;
#else
  return false;
#endif
}

std::shared_ptr<LogSink> makeSystemLogSink() {
  const bool stderrIsJournal = stderrIsJournalStream();
#ifdef DW_HAVE_SYSTEMD
  if (journalReachable()) return std::make_shared<JournalSink>(stderrIsJournal);
#endif
  return std::make_shared<StderrSink>(stderrIsJournal);
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

const Logger& logger(std::string_view category, std::string_view subsystem) {
  static auto* mutex = new std::mutex;
  // Leaked with the loggers in it; a map's elements never move.
  static auto* loggers = new std::map<std::pair<std::string, std::string>, Logger>;
  std::pair<std::string, std::string> key(subsystem, category);
  std::lock_guard lock(*mutex);
  return loggers->try_emplace(key, key.first, key.second).first->second;
}

void Logger::submit(LogLevel level, LogFormat format, std::vector<LogArgument> args) const {
  LogEntry entry;
  entry.level = level;
  entry.subsystem = subsystem_;
  entry.category = category_;
  entry.format = std::string(format.text);
  entry.message = renderLogFormat(format.text, args, &entry.privacy);
  entry.where = format.where;
  for (const auto& sink : currentSinks()) sink->write(entry);
}

}  // namespace duskwarden
