#pragma once
// The main queue over the Qt event loop.
//
// async posts the work to the thread that made the queue (the GUI thread);
// asyncAfter fixes its deadline on the monotonic clock when submitted, so the
// delay is measured from the moment of scheduling even when the submission
// comes from another thread and reaches the loop later. Work still pending
// when the queue is destroyed is dropped.

#include "platform/dispatch/DispatchQueue.h"

#include <memory>

class QObject;

namespace duskwarden {

class QtMainQueue final : public DispatchQueue {
 public:
  QtMainQueue();  // call on the GUI thread, after QCoreApplication exists
  ~QtMainQueue() override;

  void async(WorkItem work) override;
  void asyncAfter(double seconds, WorkItem work) override;
  const std::string& label() const override { return label_; }

 private:
  std::string label_ = "main";
  std::unique_ptr<QObject> context_;
};

}  // namespace duskwarden
