#include "platform/dispatch/QtMainQueue.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace duskwarden {

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {}

QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::async(WorkItem work) {
  if (!work) return;
  QMetaObject::invokeMethod(context_.get(), [w = std::move(work)] { w(); }, Qt::QueuedConnection);
}

void QtMainQueue::asyncAfter(double seconds, WorkItem work) {
  if (!work) return;
  if (!(seconds > 0.0)) {
    async(std::move(work));
    return;
  }
  constexpr double kMaxSeconds = 24.0 * 3600;  // QTimer takes int milliseconds
  const auto ns = static_cast<qint64>(std::min(seconds, kMaxSeconds) * 1e9);
  QDeadlineTimer deadline(std::chrono::nanoseconds(ns), Qt::PreciseTimer);
  QObject* context = context_.get();
  QMetaObject::invokeMethod(
      context,
      [context, deadline, w = std::move(work)]() mutable {
        const auto remaining = std::max<qint64>(0, deadline.remainingTimeNSecs());
        // Round up so work never runs before its deadline.
        const int ms = static_cast<int>((remaining + 999'999) / 1'000'000);
        QTimer::singleShot(ms, Qt::PreciseTimer, context, std::move(w));
      },
      Qt::QueuedConnection);
}

}  // namespace duskwarden
