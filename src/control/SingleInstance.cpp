#include "control/SingleInstance.h"

#include "control/InstanceClient.h"
#include "control/InstanceConnection.h"
#include "control/InstanceLock.h"
#include "platform/bundle/BuildInfo.h"
#include "platform/log/Logger.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace duskwarden {

namespace {

namespace protocol = instanceprotocol;

// Qt's xcb plugin and Xlib end the process with exit() when the X server
// goes away, so no destructor runs: these paths are removed by an atexit
// handler instead, unless the owner already removed them itself.
struct ExitCleanup {
  std::atomic<bool> armed{false};
  char socket[PATH_MAX] = {};
  char lock[PATH_MAX] = {};
};
std::array<ExitCleanup, 4> exitCleanups;

void removeOnExit() {
  for (auto& slot : exitCleanups) {
    if (!slot.armed.exchange(false)) continue;
    ::unlink(slot.socket);
    ::unlink(slot.lock);
  }
}

// The slot armed for these paths, or -1.
int armExitCleanup(const QString& socket, const QString& lock) {
  static const bool registered = std::atexit(removeOnExit) == 0;
  if (!registered) return -1;
  const QByteArray s = QFile::encodeName(socket), l = QFile::encodeName(lock);
  if (s.size() >= PATH_MAX || l.size() >= PATH_MAX) return -1;
  for (std::size_t i = 0; i < exitCleanups.size(); ++i) {
    auto& slot = exitCleanups[i];
    if (slot.armed.load()) continue;
    std::memcpy(slot.socket, s.constData(), static_cast<std::size_t>(s.size()) + 1);
    std::memcpy(slot.lock, l.constData(), static_cast<std::size_t>(l.size()) + 1);
    slot.armed = true;
    return static_cast<int>(i);
  }
  return -1;
}

// Out of descriptors or kernel memory: the connection stays queued and can
// be accepted once some are free again.
bool isExhaustion(int err) { return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM; }

}  // namespace

SingleInstance::SingleInstance(QString directory, QString name, Limits limits)
    : directory_(std::move(directory)), name_(std::move(name)), limits_(limits) {
  acceptRetry_.setSingleShot(true);
  acceptRetry_.setInterval(limits_.acceptRetryMs);
  connect(&acceptRetry_, &QTimer::timeout, this, &SingleInstance::resumeAccepting);
}

SingleInstance::~SingleInstance() {
  closeListener();
  lock_.reset();  // removes the lock file
  if (exitCleanupSlot_ >= 0) exitCleanups[static_cast<std::size_t>(exitCleanupSlot_)].armed = false;
}

QString SingleInstance::socketPath() const { return socketPath(directory_, name_); }
QString SingleInstance::lockPath() const { return lockPath(directory_, name_); }

QString SingleInstance::socketPath(const QString& directory, const QString& name) {
  return QDir(directory).filePath(name + QStringLiteral(".socket"));
}

std::size_t SingleInstance::longestFileName(const QString& name) {
  return static_cast<std::size_t>(QFile::encodeName(name + QStringLiteral(".socket")).size());
}

QString SingleInstance::lockPath(const QString& directory, const QString& name) {
  return QDir(directory).filePath(name + QStringLiteral(".lock"));
}

bool SingleInstance::isHeld(const QString& lockPath) {
  return InstanceLock::isHeld(QFile::encodeName(lockPath).toStdString());
}

SingleInstance::Role SingleInstance::start(QString* error, int answerTimeoutMs) {
  if (!QDir::isAbsolutePath(directory_) || !QDir().mkpath(directory_)) {
    *error = QStringLiteral("cannot create %1").arg(directory_);
    return Role::unavailable;
  }
  std::string why;
  switch (InstanceLock::take(QFile::encodeName(lockPath()).toStdString(), &lock_, &why)) {
    case InstanceLock::Result::taken:
      if (!listen(error)) {
        lock_.reset();  // unlocks: a copy that cannot answer must not hold the lock
        return Role::unavailable;
      }
      exitCleanupSlot_ = armExitCleanup(socketPath(), lockPath());
      return Role::primary;
    case InstanceLock::Result::failed:
      *error = QString::fromStdString(why);
      return Role::unavailable;
    case InstanceLock::Result::heldElsewhere:
      break;
  }
  return askRunningInstance(error, answerTimeoutMs) ? Role::secondary : Role::unavailable;
}

bool SingleInstance::listen(QString* error) {
  const QByteArray path = QFile::encodeName(socketPath());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (static_cast<std::size_t>(path.size()) >= sizeof(address.sun_path)) {
    *error = QStringLiteral("the socket path %1 is too long").arg(socketPath());
    return false;
  }
  std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()) + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = QStringLiteral("cannot make a socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  // A socket there was left by a copy that crashed (we hold the lock, so it is
  // not in use); anything else is not ours to remove.
  if (struct stat st {}; ::lstat(path.constData(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      *error = QStringLiteral("%1 is in the way: it is %2, where this program keeps its socket; remove or rename it")
                   .arg(socketPath(), S_ISDIR(st.st_mode) ? QStringLiteral("a directory") : QStringLiteral("not a socket"));
      ::close(fd);
      return false;
    }
    ::unlink(path.constData());
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ::chmod(path.constData(), 0600) != 0 || ::listen(fd, 64) != 0) {
    *error = QStringLiteral("cannot listen on %1: %2").arg(socketPath(), QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
    return false;
  }
  listenFd_ = fd;
  notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &SingleInstance::acceptPending);
  return true;
}

void SingleInstance::closeListener() {
  acceptRetry_.stop();
  notifier_.reset();
  if (listenFd_ < 0) return;
  ::close(listenFd_);
  listenFd_ = -1;
  ::unlink(QFile::encodeName(socketPath()).constData());
}

// These two run while the process may have no descriptor left. UBSan's vptr
// check probes memory through a pipe and, finding none, reports every
// virtual-class call here as a bad object; the objects are fine.
#define DW_RUNS_WITHOUT_DESCRIPTORS __attribute__((no_sanitize("vptr")))

DW_RUNS_WITHOUT_DESCRIPTORS void SingleInstance::resumeAccepting() {
  if (listenFd_ < 0) {
    QString ignored;
    if (!listen(&ignored)) acceptRetry_.start();
    return;
  }
  notifier_->setEnabled(true);
  acceptPending();
}

DW_RUNS_WITHOUT_DESCRIPTORS void SingleInstance::acceptPending() {
  while (listenFd_ >= 0) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      const int err = errno;
      if (err == EINTR || err == ECONNABORTED || err == EPROTO) continue;
      if (err == EAGAIN || err == EWOULDBLOCK) return;
      if (isExhaustion(err)) {
        // The notifier would fire again at once for the queued connection: pause it.
        notifier_->setEnabled(false);
      } else {
        // The listening socket itself is broken: make a new one.
        closeListener();
        QString ignored;
        if (listen(&ignored)) continue;
      }
      acceptRetry_.start();
      return;
    }
    if (clients_ >= limits_.maxClients || !peerIsSameUser(fd)) {
      ::close(fd);  // busy (a real second launch retries), or not this user's
      continue;
    }
    serve(fd);
  }
}

namespace {

constexpr std::string_view kLogCategory = "SingleInstance";

}  // namespace

void SingleInstance::serve(int fd) {
  using Connection = InstanceConnection;
  auto* connection = new Connection(fd, this);
  ++clients_;
  // Counted as a client until it follows.
  auto following = std::make_shared<bool>(false);
  connect(connection, &QObject::destroyed, this, [this, following] { --(*following ? followers_ : clients_); });

  // First the whole request line, then the answer, each within its time.
  auto lineRead = std::make_shared<bool>(false);
  connect(&connection->timer(), &QTimer::timeout, connection, [connection, lineRead] {
    if (*lineRead)
      connection->finish(protocol::kErrorTimeout);
    else
      connection->drop();
  });
  connection->timer().start(limits_.idleTimeoutMs);

  auto reader = std::make_shared<protocol::LineReader>();
  connect(&connection->notifier(), &QSocketNotifier::activated, connection,
          [this, connection, reader, lineRead, following] {
    const auto read = connection->readAvailable();
    if (*following) {
      if (read.ended) connection->drop();  // the follower went
      return;
    }
    if (!reader->append(read.bytes)) return connection->drop();  // longer than any request: not one of ours
    const auto line = reader->takeLine();
    if (!line) {
      if (read.ended) connection->drop();  // gone before a whole line
      return;
    }
    // One request per connection: nothing more is read, so a peer that has
    // shut its writing side after the line still gets the answer.
    connection->notifier().setEnabled(false);
    *lineRead = true;
    const auto parsed = protocol::parseRequest(*line);
    if (parsed.request && parsed.request->command == protocol::kFollow && followers_ < limits_.maxFollowers &&
        onFollow) {
      *following = true;
      --clients_;
      ++followers_;
      return follow(connection, *parsed.request);
    }
    connection->timer().start(limits_.answerTimeoutMs);
    answer(parsed, [connection = QPointer<Connection>(connection)](std::string_view reply) {
      if (!connection || !connection->timer().isActive()) return;  // gone, or timed out already
      connection->finish(reply);
    });
  });
}

void SingleInstance::follow(InstanceConnection* connection, const protocol::Request& request) {
  connection->timer().stop();
  auto ended = std::make_shared<bool>(false);
  auto push = [connection = QPointer<InstanceConnection>(connection), ended](std::string_view line) {
    if (!connection || *ended) return;
    const auto sent = connection->send(line);
    if (sent == InstanceConnection::Sent::whole) return;
    // Never waited for: a bar that hangs must not hold up the program.
    if (sent == InstanceConnection::Sent::full) logger(kLogCategory).log("Dropped a follower that stopped reading");
    *ended = true;
    connection->drop();
  };
  AnyCancellable subscription = onFollow(request, push);
  if (*ended) return;
  if (!subscription) return connection->drop();  // refused: its answer is sent
  connection->follow(limits_.followerBufferBytes, std::move(subscription));
}

void SingleInstance::answer(const protocol::ParsedRequest& parsed, const Reply& reply) {
  if (!parsed.request) return reply(parsed.error);
  const protocol::Request& request = *parsed.request;
  // Read after its client stopped waiting (this process was stopped, or
  // swamped): the client has said it failed, so it must not happen now.
  if (request.deadline && *request.deadline <= protocol::monotonicNow()) return reply(protocol::kErrorTimeout);
  if (request.command == protocol::kFollow) return reply(onFollow ? protocol::kErrorBusy : protocol::kErrorUnknownCommand);
  if (request.command == protocol::kActivate) {
    if (!request.arguments.empty()) return reply(protocol::kErrorBadArgument);
    if (onActivationRequested) onActivationRequested();
    return reply(protocol::kAnswerOk);
  }
  if (!onCommand) return reply(protocol::kErrorUnknownCommand);
  onCommand(request, reply);
}

bool SingleInstance::askRunningInstance(QString* error, int answerTimeoutMs) {
  // The running copy may hold the lock but not listen yet, or be busy with
  // other clients and close on us: ask again until the deadline.
  const auto result = ask(QFile::encodeName(socketPath()).toStdString(),
                          protocol::requestLine(protocol::kActivate, {}, protocol::monotonicNow() + answerTimeoutMs / 1000.0),
                          answerTimeoutMs, [] { return true; });
  using Outcome = InstanceAnswer::Outcome;
  switch (result.outcome) {
    case Outcome::answered:
      if (result.line == protocol::kAnswerOk) return true;
      *error = QStringLiteral("the running copy answered: %1").arg(QString::fromStdString(result.line));
      return false;
    case Outcome::notListening:
      *error = QStringLiteral("another copy holds %1 but does not answer on %2").arg(lockPath(), socketPath());
      return false;
    case Outcome::noAnswer:
      *error = QStringLiteral("the running copy did not answer");
      return false;
    case Outcome::foreignPeer:
      *error = QStringLiteral("%1 belongs to another user").arg(socketPath());
      return false;
  }
  return false;
}

}  // namespace duskwarden
