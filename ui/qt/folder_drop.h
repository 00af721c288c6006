#pragma once

#include <optional>
#include <string>

class QMimeData;

namespace batchext {

// The path of the one local folder that `data` carries, as the folder picker
// answers it; nothing for files, several items or addresses of other hosts.
std::optional<std::string> DroppedFolder(const QMimeData& data);

}  // namespace batchext
