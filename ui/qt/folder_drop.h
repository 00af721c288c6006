#pragma once

#include <QStringList>
#include <optional>
#include <string>

class QMimeData;

namespace batchext {

// The path of the one local folder that `data` carries, as the folder picker
// answers it; nothing for files, several items or addresses of other hosts.
std::optional<std::string> DroppedFolder(const QMimeData& data);

// The folder named first on the command line (`batchext FOLDER`, as file
// managers start it), in that form; the other arguments are not looked at.
std::optional<std::string> StartFolder(const QStringList& arguments);

}  // namespace batchext
