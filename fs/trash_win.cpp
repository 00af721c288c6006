#include "fs/trash.h"
#include "fs/win_support.h"

namespace batchext {

struct Trash::Can {};

bool Trash::Supported() { return false; }

Trash::Trash() = default;

Trash::~Trash() = default;

// The Recycle Bin keeps a file by moving it, which would leave the name
// empty for a moment; until that is solved, a replacement keeps nothing.
std::string Trash::Keep(const FolderHandle&, std::string_view,
                        const std::string&, std::string& why_not) {
  why_not = SystemErrorText(ERROR_NOT_SUPPORTED);
  return {};
}

}  // namespace batchext

namespace batchext {

std::vector<std::string> Trash::KeptFor(const std::string&,
                                        const std::string&) {
  return {};
}

}  // namespace batchext
