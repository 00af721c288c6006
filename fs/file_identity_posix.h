#pragma once

#include <sys/stat.h>

#include "fs/file_identity.h"
#include "fs/folder_handle.h"

namespace batchext {

// The identity of the file that a stat call described.
FileIdentity IdentityOf(const struct stat& info);

// What kind of entry a stat call described, a link as itself.
EntryType EntryTypeOf(mode_t mode);

}  // namespace batchext
