#include <cstdlib>
#include <string>

#include "fs/state_folder.h"

namespace batchext {

std::string UserFolder(const char* variable, const char* below_home) {
  // Relative values are to be ignored, as if unset.
  const char* named = std::getenv(variable);
  if (named != nullptr && named[0] == '/') return named;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return {};
  return std::string(home) + below_home;
}

std::string StateFolder() {
  const std::string state_home = UserFolder("XDG_STATE_HOME", "/.local/state");
  return state_home.empty() ? state_home : state_home + "/batchext";
}

}  // namespace batchext
