#pragma once
// One running copy per user session.
//
// The first copy takes a lock file in the user's runtime directory and then
// listens on a local socket beside it; a later copy that finds the lock taken
// connects, asks the first to show itself and waits for its answer. Holding
// the lock before listening closes the start-up race: two copies started
// together cannot both become the first. A lock left by a crashed copy is
// taken over (the lock records the holder's process id).

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

namespace duskwarden {

class SingleInstance final : public QObject {
  Q_OBJECT
 public:
  enum class Role { primary, secondary, unavailable };

  // `directory`: where the lock and socket live; `name`: their base name.
  SingleInstance(QString directory, QString name);
  ~SingleInstance() override;

  // Becomes the first copy, or asks the running one to show itself. On
  // `unavailable` (the lock or socket cannot be made, or the running copy did
  // not answer), `error` says why.
  Role start(QString* error, int answerTimeoutMs = 3000);

  // The first copy runs this when a later one asks it to show itself.
  std::function<void()> onActivationRequested;

  QString socketPath() const;
  QString lockPath() const;

 private:
  void acceptConnections();
  bool askRunningInstance(QString* error, int answerTimeoutMs);

  QString directory_;
  QString name_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace duskwarden
