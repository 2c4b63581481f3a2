#pragma once
// The process entry: options, the display and tray checks, one copy per
// session, then the one AppDelegate and the event loop until Quit.

namespace duskwarden {

class DuskwardenApp {
 public:
  static int main(int argc, char** argv);
};

}  // namespace duskwarden
