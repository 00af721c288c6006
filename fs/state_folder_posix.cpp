#include <cstdlib>

#include "fs/state_folder.h"

namespace batchext {

std::string StateFolder() {
  // Relative values are to be ignored, as if unset.
  const char* state_home = std::getenv("XDG_STATE_HOME");
  if (state_home != nullptr && state_home[0] == '/') {
    return std::string(state_home) + "/batchext";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return {};
  return std::string(home) + "/.local/state/batchext";
}

}  // namespace batchext
