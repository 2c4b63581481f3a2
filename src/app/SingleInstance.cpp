#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace duskwarden {

namespace {
constexpr char kRequest[] = "activate\n";
constexpr char kAnswer[] = "ok\n";
}  // namespace

SingleInstance::SingleInstance(QString directory, QString name)
    : directory_(std::move(directory)), name_(std::move(name)) {}

SingleInstance::~SingleInstance() {
  if (server_) server_->close();  // removes the socket file
}

QString SingleInstance::socketPath() const { return QDir(directory_).filePath(name_ + QStringLiteral(".socket")); }
QString SingleInstance::lockPath() const { return QDir(directory_).filePath(name_ + QStringLiteral(".lock")); }

SingleInstance::Role SingleInstance::start(QString* error, int answerTimeoutMs) {
  if (!QDir().mkpath(directory_)) {
    *error = QStringLiteral("cannot create %1").arg(directory_);
    return Role::unavailable;
  }
  lock_ = std::make_unique<QLockFile>(lockPath());
  lock_->setStaleLockTime(0);  // only a dead holder makes the lock stale, never its age
  if (lock_->tryLock(0)) {
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath());  // left by a copy that crashed
    if (!server_->listen(socketPath())) {
      *error = QStringLiteral("cannot listen on %1: %2").arg(socketPath(), server_->errorString());
      server_.reset();
      return Role::unavailable;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return Role::primary;
  }
  if (lock_->error() != QLockFile::LockFailedError) {
    *error = QStringLiteral("cannot create the lock file %1").arg(lockPath());
    return Role::unavailable;
  }
  lock_.reset();
  return askRunningInstance(error, answerTimeoutMs) ? Role::secondary : Role::unavailable;
}

bool SingleInstance::askRunningInstance(QString* error, int answerTimeoutMs) {
  // The running copy may hold the lock but not listen yet: retry until the deadline.
  QDeadlineTimer deadline(answerTimeoutMs);
  QLocalSocket socket;
  while (true) {
    socket.connectToServer(socketPath());
    if (socket.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) break;
    if (deadline.hasExpired()) {
      *error = QStringLiteral("another copy holds %1 but does not answer on %2").arg(lockPath(), socketPath());
      return false;
    }
    socket.abort();
    QThread::msleep(50);
  }
  socket.write(kRequest);
  socket.flush();
  QByteArray answer;
  while (!answer.contains('\n')) {
    if (!socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) break;
    answer += socket.readAll();
  }
  if (answer != kAnswer) {
    *error = QStringLiteral("the running copy did not answer");
    return false;
  }
  return true;
}

void SingleInstance::acceptConnections() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > 64) socket->abort();  // not one of ours
        return;
      }
      const QByteArray line = socket->readLine();
      if (line == kRequest) {
        if (onActivationRequested) onActivationRequested();
        socket->write(kAnswer);
        socket->flush();
      }
      socket->disconnectFromServer();
    });
  }
}

}  // namespace duskwarden
