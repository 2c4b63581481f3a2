// A request the backend's loop cannot finish in time: the caller has its
// answer at the deadline, with the reason TIMEOUT; later requests answer at
// once while it still runs, and work again once it has ended. And a reason's
// message as the table hands it out.
#include <gtest/gtest.h>

#include <cstring>
#include <future>

#include "Wait.h"
#include "base/callback/CallbackSlot.h"
#include "backendkit/GLibLoop.h"
#include "backendkit/Reason.h"

#if defined(__SANITIZE_THREAD__)
// GLib is not built for ThreadSanitizer and hands work over with futexes it cannot see.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libglib-2.0.so\ncalled_from_lib:libgio-2.0.so\ncalled_from_lib:libgobject-2.0.so\n";
}
#endif

namespace duskwarden::provider {
namespace {

struct IdleLoop final : GLibLoop {
  CallbackSlot callback;
  bool connect() override { return true; }
  void disconnect() override {}
};

TEST(RequestDeadline, AStuckRequestIsReportedAndHoldsNoLaterCall) {
  GLibLoopThread<IdleLoop> loop;
  ASSERT_TRUE(loop.start());
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  const auto stuck = [released] {
    released.wait();
    return 1;
  };
  EXPECT_EQ(loop->onLoop<int>("turn on", stuck, std::chrono::milliseconds(100)), std::nullopt);
  EXPECT_EQ(loop->reason.get().code, DW_NIGHTLIGHT_REASON_TIMEOUT);
  EXPECT_EQ(loop->reason.get().message, "turn on did not finish within 100 ms");

  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(loop->onLoop<int>("read", [] { return 2; }), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1)) << "queued behind the stuck request";
  EXPECT_EQ(loop->reason.get().message, "read: an earlier request has not finished yet");

  release.set_value();
  EXPECT_TRUE(testing::waitUntil("a request to work again",
                                 [&] { return loop->onLoop<int>("read", [] { return 3; }) == 3; }));
}

TEST(ReasonMessage, IsOnePrintableLineCutAtACharacterBoundary) {
  const struct {
    std::string message;
    std::size_t size;
    std::string out;
  } cases[] = {
      {"kwinrc: Active in [NightColor] is locked with [$i]", 64, "kwinrc: Active in [NightColor] is locked with [$i]"},
      {"a\nnew\tline\x7f", 64, "a new line "},
      {"warm \xc3\xa9t\xc3\xa9", 7, "warm "},  // the é would need bytes 6 and 7, and the NUL another
      {"warm \xc3\xa9t\xc3\xa9", 8, "warm \xc3\xa9"},
      {"\xff\xc3 \xed\xa0\x80", 64, "?? ???"},  // stray bytes and an encoded surrogate are no UTF-8
      {"abc", 1, ""},
  };
  for (const auto& c : cases) {
    char out[64];
    std::memset(out, 'x', sizeof out);
    copyReasonMessage(c.message, out, c.size);
    EXPECT_EQ(std::string(out), c.out) << c.message << " in " << c.size;
  }
}

}  // namespace
}  // namespace duskwarden::provider
