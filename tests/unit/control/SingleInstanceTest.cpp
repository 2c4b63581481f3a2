// The running copy's socket in a process out of descriptors, against
// requests it does not know, answers that come late or never, and another
// user's process. Real sockets, real time (short). Idle and surplus clients
// are covered with the real binary (e2e_lifecycle).
#include "control/InstanceProtocol.h"
#include "control/SingleInstance.h"
#include "platform/log/Logger.h"

#include "TestEnvironment.h"

#include "QtSpin.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

namespace duskwarden {
namespace {

using testing::spinFor;
using testing::spinUntil;
using namespace std::chrono_literals;

void app() { testing::ensureQtApp<QCoreApplication>(); }


// A client on a plain socket, so the test controls every byte and can hold
// it open without finishing a line.
struct RawClient {
  explicit RawClient(const QString& path, const std::string& send = {}) {
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, QFile::encodeName(path).constData(), sizeof a.sun_path - 1);
    connected = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (!send.empty()) connected = connected && ::write(fd, send.data(), send.size()) == static_cast<ssize_t>(send.size());
  }
  ~RawClient() { ::close(fd); }
  // Whatever the server sent, once it closed; nothing while it is still open.
  std::optional<std::string> closedWith() {
    char buf[64];
    while (!closed) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 0) <= 0) return std::nullopt;
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) closed = true;
      else received.append(buf, static_cast<std::size_t>(n));
    }
    return received;
  }
  int fd = -1;
  bool connected = false;
  bool closed = false;
  std::string received;
};

// Asks as a second launch does, from another thread, while this one serves.
SingleInstance::Role secondLaunch(const QString& dir) {
  std::atomic<int> role{-1};
  std::thread second([&] {
    SingleInstance copy(dir, "dw");
    QString error;
    role = static_cast<int>(copy.start(&error, 5000));
  });
  EXPECT_TRUE(spinUntil("the second launch's role", [&] { return role.load() != -1; }, 8s));
  second.join();
  return static_cast<SingleInstance::Role>(role.load());
}

// A copy starting over a lock file holding `contents` (nothing: no file) takes
// the lock, writes its own pid and logs one line holding `logged` (empty: none).
void expectTakenOver(MemoryLogSink& sink, const std::optional<std::string>& contents, const std::string& logged) {
  sink.clear();
  const QString dir = QString::fromStdString(testing::makeTempDir("lock").string());
  const QString lock = SingleInstance::lockPath(dir, "dw");
  if (contents) {
    QFile f(lock);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(contents->data(), static_cast<qint64>(contents->size()));
  }
  EXPECT_FALSE(SingleInstance::isHeld(lock)) << "a client would wait for nobody";
  SingleInstance copy(dir, "dw");
  QString error;
  ASSERT_EQ(copy.start(&error, 500), SingleInstance::Role::primary) << error.toStdString();
  EXPECT_TRUE(SingleInstance::isHeld(lock));
  const auto lines = sink.messages("SingleInstance");
  ASSERT_EQ(lines.size(), logged.empty() ? 0u : 1u);
  if (!logged.empty()) {
    EXPECT_NE(lines[0].find(logged), std::string::npos) << lines[0];
  }
  QFile f(lock);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readLine().trimmed().toLongLong(), ::getpid());
}

// Whatever a lock file says, only a live holder of its kernel lock makes a
// copy the running one: anything else is taken over, said once in the log,
// and never makes a client wait.
TEST(SingleInstanceLock, OnlyALiveHolderCountsWhateverTheFileSays) {
  app();
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const pid_t unrelated = ::fork();  // alive, of this user, and no copy of ours
  if (unrelated == 0) {
    ::pause();
    ::_exit(0);
  }
  // Another user's live process: as root, a child that becomes nobody; else init.
  pid_t otherUser = 1;
  if (::geteuid() == 0 && (otherUser = ::fork()) == 0) {
    if (::setuid(65534) == 0) ::pause();
    ::_exit(0);
  }
  const struct {
    const char* name;
    std::optional<std::string> contents;  // nothing: no file
    std::string logged;                   // empty: no line
  } rows[] = {
      {"no file", std::nullopt, ""},
      {"empty", "", "it was empty"},
      {"garbage", "\x01\xff not a lock\n", "it did not name a process"},
      {"own dead pid", std::to_string(ended) + "\nduskwarden\nhost\n", "which has ended"},
      {"live unrelated pid", std::to_string(unrelated) + "\nsleep\nhost\n", "which does not hold it"},
      {"another user's pid", std::to_string(otherUser) + "\nduskwarden\nhost\n",
       "it named process " + std::to_string(otherUser) + ", which does not hold it"},
  };
  auto sink = std::make_shared<MemoryLogSink>();
  setLogSinks({sink});
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_NO_FATAL_FAILURE(expectTakenOver(*sink, row.contents, row.logged));
  }
  setLogSinks({});
  for (const pid_t child : {unrelated, otherUser}) {
    if (child == 1) continue;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }

  // A live copy.
  const QString dir = QString::fromStdString(testing::makeTempDir("lock").string());
  SingleInstance first(dir, "dw");
  QString error;
  ASSERT_EQ(first.start(&error), SingleInstance::Role::primary) << error.toStdString();
  EXPECT_EQ(secondLaunch(dir), SingleInstance::Role::secondary);
}

// A directory where the socket belongs is named as such, not "Address already in use".
TEST(SingleInstanceLock, ADirectoryAtTheSocketPathIsNamed) {
  app();
  const QString dir = QString::fromStdString(testing::makeTempDir("lock").string());
  ASSERT_TRUE(QDir().mkpath(SingleInstance::socketPath(dir, "dw")));
  SingleInstance copy(dir, "dw");
  QString error;
  EXPECT_EQ(copy.start(&error), SingleInstance::Role::unavailable);
  EXPECT_TRUE(error.contains("is in the way: it is a directory")) << error.toStdString();
  EXPECT_FALSE(SingleInstance::isHeld(SingleInstance::lockPath(dir, "dw"))) << "not left locked";
}

// Out of descriptors, accept() fails; the listener must stay, and serve the
// waiting launch as soon as descriptors are free again.
TEST(SingleInstanceClients, RunningOutOfDescriptorsOnlyDelaysTheAnswer) {
  app();
  const QString dir = QString::fromStdString(testing::makeTempDir("instance").string());
  SingleInstance first(dir, "dw", SingleInstance::Limits{32, 1000, 50});
  QString error;
  ASSERT_EQ(first.start(&error), SingleInstance::Role::primary) << error.toStdString();
  int activations = 0;
  first.onActivationRequested = [&] { ++activations; };
  const QString socketPath = first.socketPath();
  RawClient waiting(socketPath, "v1 activate\n");
  ASSERT_TRUE(waiting.connected);

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  int highest = 0;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
    highest = std::max(highest, std::stoi(e.path().filename().string()));
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(highest) + 16;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  std::vector<int> filler;
  for (int p[2]; ::pipe(p) == 0;) filler.insert(filler.end(), {p[0], p[1]});
  for (int fd; (fd = ::dup(filler.front())) >= 0;) filler.push_back(fd);  // a last odd slot
  ASSERT_EQ(errno, EMFILE);

  // No calls on `first` from here: UBSan cannot check them without a descriptor.
  spinFor(300ms);  // accept() fails here, several times
  EXPECT_TRUE(QFile::exists(socketPath));
  EXPECT_FALSE(waiting.closedWith());
  EXPECT_EQ(activations, 0);

  for (int fd : filler) ::close(fd);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_TRUE(first.isListeningForTesting());
  EXPECT_TRUE(spinUntil("the waiting launch's answer", [&] { return waiting.closedWith().has_value(); }, 2s));
  EXPECT_EQ(waiting.closedWith(), "ok\n");
  EXPECT_EQ(activations, 1);

  RawClient longLine(first.socketPath(), std::string(instanceprotocol::kMaxRequestLine + 1, 'a'));
  RawClient unknown(first.socketPath(), "v1 status\n");
  RawClient newer(first.socketPath(), "v2 status\n");
  RawClient unversioned(first.socketPath(), "activate\n");
  EXPECT_TRUE(spinUntil("every client to be closed", [&] {
    return longLine.closedWith() && unknown.closedWith() && newer.closedWith() && unversioned.closedWith();
  }, 2s));
  EXPECT_EQ(longLine.closedWith(), "") << "not one of ours: dropped without an answer";
  EXPECT_EQ(unknown.closedWith(), "error unknown-command\n") << "no onCommand set";
  EXPECT_EQ(newer.closedWith(), "error unsupported-version\n");
  EXPECT_EQ(unversioned.closedWith(), "error bad-request\n");
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(secondLaunch(dir), SingleInstance::Role::secondary);
  EXPECT_EQ(activations, 2);
}

// Commands are answered when the running copy is done, later than they
// arrive; one that never answers gets "error timeout" instead of a hang.
TEST(SingleInstanceClients, LateAnswersArriveAndMissingOnesTimeOut) {
  app();
  const QString dir = QString::fromStdString(testing::makeTempDir("instance").string());
  SingleInstance first(dir, "dw", SingleInstance::Limits{32, 1000, 50, 300});
  QString error;
  ASSERT_EQ(first.start(&error), SingleInstance::Role::primary) << error.toStdString();
  std::vector<SingleInstance::Reply> held;
  int requests = 0;
  first.onCommand = [&](const instanceprotocol::Request& request, SingleInstance::Reply reply) {
    ++requests;
    if (request.command == "status") held.push_back(std::move(reply));  // answered below, or never
  };
  RawClient late(first.socketPath(), "v1 status\n");
  RawClient never(first.socketPath(), "v1 enable\n");
  ASSERT_TRUE(spinUntil("the status request", [&] { return held.size() == 1; }, 2s));
  spinFor(100ms);
  EXPECT_FALSE(late.closedWith());
  held[0]("status enabled=1");
  held[0]("twice");  // a second answer goes nowhere
  EXPECT_TRUE(spinUntil("both answers", [&] { return late.closedWith() && never.closedWith(); }, 2s));
  EXPECT_EQ(late.closedWith(), "status enabled=1\n");
  EXPECT_EQ(never.closedWith(), "error timeout\n");

  // A client that shuts its writing side after the line (nc -N) still gets the answer.
  RawClient halfClosed(first.socketPath(), "v1 status\n");
  ASSERT_EQ(::shutdown(halfClosed.fd, SHUT_WR), 0);
  ASSERT_TRUE(spinUntil("the request", [&] { return held.size() == 2; }, 2s));
  spinFor(100ms);
  held[1]("status enabled=0");
  EXPECT_TRUE(spinUntil("the answer", [&] { return halfClosed.closedWith().has_value(); }, 2s));
  EXPECT_EQ(halfClosed.closedWith(), "status enabled=0\n");

  // Read only after its client stopped waiting (this copy was stopped): not carried out.
  const int before = requests;
  RawClient stale(first.socketPath(), instanceprotocol::requestLine("enable", {}, instanceprotocol::monotonicNow() - 1) + "\n");
  EXPECT_TRUE(spinUntil("the answer", [&] { return stale.closedWith().has_value(); }, 2s));
  EXPECT_EQ(stale.closedWith(), "error timeout\n");
  EXPECT_EQ(requests, before) << "the stale request reached the commands";
}

// The directory keeps other users out; should it not (a shared TMPDIR, a
// mode changed by hand), the peer's credentials still do.
TEST(SingleInstanceClients, AnotherUsersProcessIsDroppedUnanswered) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  app();
  const QString dir = QString::fromStdString(testing::makeTempDir("instance").string());
  SingleInstance first(dir, "dw");
  QString error;
  ASSERT_EQ(first.start(&error), SingleInstance::Role::primary) << error.toStdString();
  int activations = 0;
  first.onActivationRequested = [&] { ++activations; };
  ASSERT_EQ(::chmod(QFile::encodeName(dir).constData(), 0755), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(first.socketPath()).constData(), 0666), 0);

  const std::string directory = QFile::encodeName(dir).toStdString();
  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // As nobody, from inside the directory (the test's own parent
    // directories are closed to others): connect, ask, report what came back.
    char verdict = 'x';
    if (::chdir(directory.c_str()) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0) {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un a{AF_UNIX, "dw.socket"};
      pollfd p{fd, POLLIN, 0};
      char byte = 0;
      // Closed with our request unread (a reset), or before we could send it.
      verdict = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ? 'c'
                : ::send(fd, "v1 activate\n", 12, MSG_NOSIGNAL) != 12 ? 'd'
                : ::poll(&p, 1, 3000) == 1 && ::read(fd, &byte, 1) <= 0 ? 'd' : 'a';
    }
    [[maybe_unused]] auto n = ::write(channel[1], &verdict, 1);
    ::_exit(0);
  }
  ::close(channel[1]);
  char verdict = 0;
  ASSERT_TRUE(spinUntil("the child's verdict", [&] {
    pollfd p{channel[0], POLLIN, 0};
    return verdict != 0 || (::poll(&p, 1, 0) == 1 && ::read(channel[0], &verdict, 1) == 1);
  }, 5s));
  ::waitpid(child, nullptr, 0);
  ::close(channel[0]);
  EXPECT_EQ(verdict, 'd') << "c: could not connect; a: answered; x: could not become nobody";
  EXPECT_EQ(activations, 0);
  EXPECT_EQ(secondLaunch(dir), SingleInstance::Role::secondary) << "the same user still gets in";
  EXPECT_EQ(activations, 1);
}

}  // namespace
}  // namespace duskwarden
