#include "ShellFakes.h"

#include "TestEnvironment.h"

namespace duskwarden::testing {

bool FakeStatusItem::setImage(const SymbolImage& image) {
  for (const auto& name : unknownSymbols)
    if (name == image.symbolName) return false;
  images.push_back(image);
  journal_.push_back("setImage " + image.symbolName);
  return true;
}

void FakeStatusItem::popUpMenu(const Menu& menu) {
  menus.push_back(menu);
  journal_.push_back("popUpMenu");
}

void FakePopover::setContentSize(Size size) {
  contentSize = size;
  journal_.push_back("setContentSize");
}

void FakePopover::setBehavior(PopoverBehavior b) {
  behavior = b;
  journal_.push_back("setBehavior");
}

void FakePopover::showRelativeTo(const std::optional<Rect>& anchor) {
  shows.push_back(anchor);
  shown = true;
  journal_.push_back("showPopover");
}

void FakePopover::performClose() {
  ++closes;
  shown = false;
  journal_.push_back("closePopover");
}

std::unique_ptr<UpdaterController> FakeApplication::makeUpdaterController(bool startingUpdater) {
  journal.push_back(std::string("makeUpdaterController starting=") + (startingUpdater ? "true" : "false"));
  auto u = std::make_unique<FakeUpdater>();
  updater = u.get();
  return u;
}

std::unique_ptr<Popover> FakeApplication::makePopover(std::shared_ptr<NightShiftManager> manager) {
  journal.push_back("makePopover");
  popoverManager = std::move(manager);
  auto p = std::make_unique<FakePopover>(journal);
  popover = p.get();
  return p;
}

std::unique_ptr<StatusItem> FakeApplication::makeStatusItem() {
  journal.push_back("makeStatusItem");
  auto s = std::make_unique<FakeStatusItem>(journal);
  statusItem = s.get();
  return s;
}

void FakeApplication::setActivationPolicy(ActivationPolicy p) {
  policy = p;
  journal.push_back("setActivationPolicy " + std::to_string(static_cast<int>(p)));
}

bool FakeApplication::click(EventType type, std::uint64_t modifiers) {
  if (!statusItem) return false;
  return statusItem->button().send(Event{type, modifiers}, events);
}

VirtualManager::VirtualManager() {
  defaults = std::make_unique<UserDefaults>(makeTempDir("defaults") / "defaults.conf");
  manager = NightShiftManager::create(
      NightShiftManager::Dependencies{main, client, &framework, defaults.get(), &loginItem});
  clock->runUntilIdle();  // the setup finds no provider
}

}  // namespace duskwarden::testing
