#pragma once

#include <sys/stat.h>

#include "fs/file_identity.h"

namespace batchext {

// The identity of the file that a stat call described.
FileIdentity IdentityOf(const struct stat& info);

}  // namespace batchext
