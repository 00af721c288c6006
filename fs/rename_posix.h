#pragma once

namespace batchext {

// Gives the file `from` the name `to` in one step where the file system can,
// never over an entry that stands there; false with errno EEXIST when the
// name is taken.
bool RenameNoReplace(int from_folder, const char* from, int to_folder,
                     const char* to);

}  // namespace batchext
