#include "backendkit/StateFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include "base/ownfile/OwnFile.h"
#include "base/xdg/XdgPaths.h"

namespace duskwarden::provider {

namespace {
// Our state files hold a few lines.
constexpr std::size_t kMaxStateBytes = 64 * 1024;
constexpr std::size_t kMaxPlainValueBytes = 256;
}  // namespace

std::string stateFilePath(const char* name) {
  return (userStateHome() / "duskwarden" / name).string();
}

StateFile loadStateFile(const std::string& path) {
  StateFile state;
  const ownfile::Read found = ownfile::read(path, kMaxStateBytes);
  switch (found.outcome) {
    case ownfile::Read::Outcome::missing:
      return state;
    case ownfile::Read::Outcome::read:
      break;
    case ownfile::Read::Outcome::tooLarge:
      state.outcome = StateFile::Outcome::damaged;
      state.problem = path + ": " + found.problem;
      return state;
    case ownfile::Read::Outcome::notRegular:
    case ownfile::Read::Outcome::failed:
      state.outcome = StateFile::Outcome::unusable;
      state.problem = path + ": " + found.problem;
      return state;
  }
  KeyFilePtr file(g_key_file_new());
  GError* error = nullptr;
  if (!g_key_file_load_from_data(file.get(), found.text.data(), found.text.size(), G_KEY_FILE_NONE, &error)) {
    state.outcome = StateFile::Outcome::damaged;
    state.problem = path + ": " + error->message;
    g_error_free(error);
    return state;
  }
  state.outcome = StateFile::Outcome::loaded;
  state.file = std::move(file);
  return state;
}

std::optional<std::string> saveStateFile(const std::string& path, GKeyFile* file) {
  gsize length = 0;
  g_autofree char* data = g_key_file_to_data(file, &length, nullptr);
  if (auto error = ownfile::replace(path, std::string_view(data, length))) return path + ": " + *error;
  return std::nullopt;
}

void forgetStateFile(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) ::unlink(path.c_str());
}

bool isPlainValue(const std::string& value) {
  if (value.size() > kMaxPlainValueBytes) return false;
  for (const char c : value)
    if (c == '[' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return g_utf8_validate(value.data(), static_cast<gssize>(value.size()), nullptr);
}

}  // namespace duskwarden::provider
