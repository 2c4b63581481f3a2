#pragma once
// One running copy per user session.
//
// The first copy takes a lock file in the user's runtime directory and then
// listens on a local socket beside it; a later copy that finds the lock taken
// connects, asks the first to show itself and waits for its answer. Holding
// the lock before listening closes the start-up race: two copies started
// together cannot both become the first. The lock is the kernel's, so one
// left by a crashed copy, or a damaged lock file, is taken over
// (InstanceLock.h). The exchange is the line protocol of InstanceProtocol.h.
//
// Only the same user is served: the directory is the user's own (0700) and
// a peer whose credentials name another uid is dropped unanswered.
// A request read after its deadline is answered "error timeout" and not
// carried out. Nobody else on the socket can wear the first copy down: a client that has
// not sent a whole line within a second is dropped, only a few dozen are
// served at a time (others are closed at once), and when the process runs
// out of descriptors the waiting connections stay queued and accepting
// resumes shortly after, instead of the listener closing for good.
//
// A follower ("follow <word>") keeps its connection: the running copy pushes
// it a line at each change, never waiting for it. One that stops reading is
// dropped (with a line in the journal) once its socket's send buffer is
// full, a few dozen lines; at most maxFollowers follow at a time, apart from
// the clients counted above.

#include "control/InstanceProtocol.h"
#include "platform/publish/Publish.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <QTimer>
#include <functional>
#include <memory>
#include <string_view>

class QSocketNotifier;

namespace duskwarden {

class InstanceConnection;
class InstanceLock;

class SingleInstance final : public QObject {
  Q_OBJECT
 public:
  enum class Role { primary, secondary, unavailable };

  struct Limits {
    int maxClients = 32;
    int idleTimeoutMs = 1000;  // for a whole request line
    int acceptRetryMs = 250;   // after running out of descriptors
    int answerTimeoutMs = 5000;  // for onCommand's answer
    int maxFollowers = 16;
    int followerBufferBytes = 16 * 1024;  // the kernel's send buffer for each (which it doubles)
  };

  // Takes the answer line (without '\n'); called once, now or later, on this thread.
  using Reply = std::function<void(std::string_view answer)>;

  // `directory`: where the lock and socket live; `name`: their base name.
  SingleInstance(QString directory, QString name, Limits limits);
  SingleInstance(QString directory, QString name) : SingleInstance(std::move(directory), std::move(name), Limits{}) {}
  ~SingleInstance() override;

  // Becomes the first copy, or asks the running one to show itself. On
  // `unavailable` (the lock or socket cannot be made, or the running copy did
  // not answer), `error` says why.
  Role start(QString* error, int answerTimeoutMs = 3000);

  // The first copy runs this when a later one asks it to show itself.
  std::function<void()> onActivationRequested;
  // And this for every other well-formed request; unset, they are unknown.
  std::function<void(const instanceprotocol::Request&, Reply)> onCommand;
  // And this for "follow <word>": it pushes lines through its Reply (which
  // may be called many times) until the subscription it returns ends, when
  // the follower goes; it returns none after answering a request it refuses.
  // Unset, following is an unknown command.
  std::function<AnyCancellable(const instanceprotocol::Request&, Reply push)> onFollow;

  QString socketPath() const;
  QString lockPath() const;
  static QString socketPath(const QString& directory, const QString& name);
  // The longest of the file names socketPath and lockPath make for `name`: what the directory must leave room for.
  static std::size_t longestFileName(const QString& name);
  static QString lockPath(const QString& directory, const QString& name);
  // Whether a live process holds the lock at `lockPath` (a copy that is
  // running, or starting and not listening yet), whatever the file says.
  static bool isHeld(const QString& lockPath);
  bool isListeningForTesting() const { return listenFd_ >= 0; }

 private:
  bool listen(QString* error);
  void closeListener();
  void acceptPending();
  void resumeAccepting();
  void serve(int fd);
  void answer(const instanceprotocol::ParsedRequest& parsed, const Reply& reply);
  void follow(InstanceConnection* connection, const instanceprotocol::Request& request);
  bool askRunningInstance(QString* error, int answerTimeoutMs);

  QString directory_;
  QString name_;
  Limits limits_;
  std::unique_ptr<InstanceLock> lock_;
  int listenFd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  QTimer acceptRetry_;
  int clients_ = 0;
  int followers_ = 0;
  int exitCleanupSlot_ = -1;
};

}  // namespace duskwarden
