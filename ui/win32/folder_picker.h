#pragma once

#include <string>

namespace batchext::win32 {

// The shell's classic folder dialog, with no owner window so that the main
// window stays usable while it is open. Answers the chosen folder's path,
// or "" on Cancel, on an item outside the file system, or after a failure
// that has already been shown.
std::string SelectFolder();

// The folder named first on the command line (`batchext.exe FOLDER`, as
// Explorer's folder menu starts it) in the form the dialog answers, or ""
// when it names no folder; the other arguments are not looked at.
std::string StartFolder();

// The full path of the folder `given` names, in the form the dialog
// answers, or "" when it names no folder.
std::string FullFolderPath(std::wstring given);

}  // namespace batchext::win32
