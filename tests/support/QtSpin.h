#pragma once
// Qt tests: one application object per process, and a bounded event spin.

#include <QCoreApplication>
#include <QElapsedTimer>

namespace duskwarden::testing {

// Never destroyed: tearing widgets down during static destruction crashes.
template <class App>
void ensureQtApp() {
  static int argc = 1;
  static char name[] = "test";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new App(argc, argv);
}

template <class Pred>
bool spinUntil(Pred done, int limitMs = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

}  // namespace duskwarden::testing
