#include "GammaCompositor.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wayland-server.h>

#include <future>
#include <map>
#include <set>
#include <stdexcept>

#include "wlr-gamma-control-unstable-v1-server-protocol.h"

namespace duskwarden::testing {

namespace {

struct Control;

struct Output {
  int id = 0;
  std::string name;
  std::uint32_t gammaSize = 0;
  bool refuse = false;
  wl_global* global = nullptr;
  std::set<wl_resource*> resources;
  Control* holder = nullptr;
  GammaCompositor::Seen seen;
};

struct Control {
  GammaCompositor::Impl* impl;
  Output* output;  // nullptr once failed, or when its output is gone
  wl_resource* resource;
};

// wl_output requests: only release.
void bindOutput(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  auto* output = static_cast<Output*>(data);
  static const struct wl_output_interface implementation = {
      [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }};
  wl_resource* resource = wl_resource_create(client, &wl_output_interface, static_cast<int>(version), id);
  wl_resource_set_implementation(resource, &implementation, output, [](wl_resource* r) {
    if (auto* o = static_cast<Output*>(wl_resource_get_user_data(r))) o->resources.erase(r);
  });
  output->resources.insert(resource);
  wl_output_send_geometry(resource, 0, 0, 300, 200, WL_OUTPUT_SUBPIXEL_UNKNOWN, "Duskwarden", "Test",
                          WL_OUTPUT_TRANSFORM_NORMAL);
  wl_output_send_mode(resource, WL_OUTPUT_MODE_CURRENT, 1920, 1080, 60000);
  if (version >= WL_OUTPUT_NAME_SINCE_VERSION) wl_output_send_name(resource, output->name.c_str());
  if (version >= WL_OUTPUT_DONE_SINCE_VERSION) wl_output_send_done(resource);
}

}  // namespace

struct GammaCompositor::Impl {
  wl_display* display = wl_display_create();
  wl_event_loop* loop = wl_display_get_event_loop(display);
  int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  wl_event_source* wakeSource = nullptr;
  bool stopping = false;
  std::mutex tasksMutex;
  std::vector<std::function<void()>> tasks;

  std::mutex mutex;  // guards what the test reads: outputs and their Seen
  std::map<int, std::unique_ptr<Output>> outputs;
  std::set<Control*> controls;
  int lastId = 0;

  // The output goes back to its own gamma, as wlroots does when any control of it ends.
  void end(Control* control, bool sendFailed) {
    if (control->output == nullptr) return;
    if (sendFailed) zwlr_gamma_control_v1_send_failed(control->resource);
    if (control->output->holder == control) control->output->holder = nullptr;
    control->output->seen.ramps.clear();
    control->output = nullptr;
  }

  void setGamma(Control* control, int fd) {
    std::lock_guard lock(mutex);
    Output* output = control->output;
    if (output == nullptr) return;
    ++output->seen.rampRequests;
    const std::size_t size = std::size_t{3} * output->gammaSize;
    struct stat st {};
    const int seals = ::fcntl(fd, F_GET_SEALS);
    if (::fstat(fd, &st) != 0 || static_cast<std::size_t>(st.st_size) != size * 2)
      output->seen.faults.push_back("table of " + std::to_string(st.st_size) + " bytes for " +
                                    std::to_string(size * 2));
    if (seals < 0 ||
        (seals & (F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE)) != (F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE))
      output->seen.faults.push_back("table not sealed against writes and resizing");
    std::vector<std::uint16_t> table(size);
    // From the current offset, as wlroots reads it.
    if (::read(fd, table.data(), size * 2) != static_cast<ssize_t>(size * 2)) {
      output->seen.faults.push_back("short read");
      wl_resource_post_error(control->resource, ZWLR_GAMMA_CONTROL_V1_ERROR_INVALID_GAMMA, "wrong table size");
    } else if (output->refuse) {
      end(control, true);
    } else {
      output->seen.ramps = std::move(table);
    }
  }

  void getControl(wl_client* client, wl_resource* manager, std::uint32_t id, wl_resource* outputResource) {
    static const struct zwlr_gamma_control_v1_interface implementation = {
        [](wl_client*, wl_resource* resource, std::int32_t fd) {
          auto* control = static_cast<Control*>(wl_resource_get_user_data(resource));
          control->impl->setGamma(control, fd);
          ::close(fd);
        },
        [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }};
    std::lock_guard lock(mutex);
    auto* output = static_cast<Output*>(wl_resource_get_user_data(outputResource));
    auto* control = new Control{this, nullptr, nullptr};
    control->resource =
        wl_resource_create(client, &zwlr_gamma_control_v1_interface, wl_resource_get_version(manager), id);
    wl_resource_set_implementation(control->resource, &implementation, control, [](wl_resource* resource) {
      auto* ended = static_cast<Control*>(wl_resource_get_user_data(resource));
      {
        std::lock_guard guard(ended->impl->mutex);
        ended->impl->end(ended, false);
        ended->impl->controls.erase(ended);
      }
      delete ended;
    });
    controls.insert(control);
    if (output != nullptr) ++output->seen.controlRequests;
    if (output == nullptr || output->gammaSize == 0) {
      zwlr_gamma_control_v1_send_failed(control->resource);
      return;
    }
    control->output = output;
    if (output->holder != nullptr) {
      // wlroots 0.15: the holder loses the output, and the newcomer keeps
      // a working control but is told nothing.
      end(output->holder, true);
      return;
    }
    output->holder = control;
    zwlr_gamma_control_v1_send_gamma_size(control->resource, output->gammaSize);
  }
};

GammaCompositor::GammaCompositor(const std::string& socket) : impl_(std::make_unique<Impl>()) {
  if (wl_display_add_socket(impl_->display, socket.c_str()) != 0)
    throw std::runtime_error("wl_display_add_socket " + socket + " failed");
  wl_global_create(
      impl_->display, &zwlr_gamma_control_manager_v1_interface, 1, impl_.get(),
      [](wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
        static const struct zwlr_gamma_control_manager_v1_interface implementation = {
            [](wl_client* c, wl_resource* manager, std::uint32_t newId, wl_resource* output) {
              static_cast<Impl*>(wl_resource_get_user_data(manager))->getControl(c, manager, newId, output);
            },
            [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }};
        wl_resource* resource =
            wl_resource_create(client, &zwlr_gamma_control_manager_v1_interface, static_cast<int>(version), id);
        wl_resource_set_implementation(resource, &implementation, data, nullptr);
      });
  impl_->wakeSource = wl_event_loop_add_fd(
      impl_->loop, impl_->wakeFd, WL_EVENT_READABLE,
      [](int fd, std::uint32_t, void* data) {
        std::uint64_t count;
        [[maybe_unused]] auto n = ::read(fd, &count, sizeof count);
        auto* impl = static_cast<Impl*>(data);
        std::vector<std::function<void()>> tasks;
        {
          std::lock_guard lock(impl->tasksMutex);
          tasks.swap(impl->tasks);
        }
        for (auto& task : tasks) task();
        return 0;
      },
      impl_.get());
  thread_ = std::thread([impl = impl_.get()] {
    while (!impl->stopping) {
      wl_display_flush_clients(impl->display);
      wl_event_loop_dispatch(impl->loop, -1);
    }
  });
}

GammaCompositor::~GammaCompositor() {
  onThread([this] { impl_->stopping = true; });
  thread_.join();
  wl_event_source_remove(impl_->wakeSource);
  wl_display_destroy_clients(impl_->display);
  wl_display_destroy(impl_->display);
  ::close(impl_->wakeFd);
}

void GammaCompositor::onThread(std::function<void()> task) {
  std::promise<void> done;
  {
    std::lock_guard lock(impl_->tasksMutex);
    impl_->tasks.push_back([&] {
      task();
      done.set_value();
    });
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(impl_->wakeFd, &one, sizeof one);
  done.get_future().wait();
}

int GammaCompositor::addOutput(const std::string& name, std::uint32_t gammaSize) {
  int id = 0;
  onThread([&] {
    std::lock_guard lock(impl_->mutex);
    id = ++impl_->lastId;
    auto output = std::make_unique<Output>();
    output->id = id;
    output->name = name;
    output->gammaSize = gammaSize;
    output->global = wl_global_create(impl_->display, &wl_output_interface, 4, output.get(), bindOutput);
    impl_->outputs[id] = std::move(output);
  });
  return id;
}

void GammaCompositor::removeOutput(int id) {
  onThread([&] {
    std::lock_guard lock(impl_->mutex);
    Output& output = *impl_->outputs.at(id);
    // As a wlroots output that is destroyed: its controls go quiet, with no event.
    for (Control* control : impl_->controls)
      if (control->output == &output) control->output = nullptr;
    for (wl_resource* resource : output.resources) wl_resource_set_user_data(resource, nullptr);
    output.resources.clear();
    wl_global_destroy(output.global);
    output.global = nullptr;
  });
}

void GammaCompositor::refuseRamps(int id, bool refuse) {
  onThread([&] {
    std::lock_guard lock(impl_->mutex);
    impl_->outputs.at(id)->refuse = refuse;
  });
}

GammaCompositor::Seen GammaCompositor::seen(int id) {
  std::lock_guard lock(impl_->mutex);
  return impl_->outputs.at(id)->seen;
}

::testing::AssertionResult GammaCompositor::waitFor(int id, const std::function<bool(const Seen&)>& condition,
                                                    std::chrono::milliseconds bound) {
  return waitUntil("output " + std::to_string(id) + " to reach the expected state", [&] { return condition(seen(id)); }, bound);
}

}  // namespace duskwarden::testing
