#pragma once

#include <string>

namespace batchext {

// Object names by which the picker's parts can be found.
inline constexpr char kFolderPickerName[] = "FolderPicker";
inline constexpr char kFolderTreeName[] = "FolderTree";
inline constexpr char kFolderInstructionName[] = "FolderInstruction";

// Lets the user choose a folder in a dialog of its own, with no owner window,
// and answers its absolute path unchanged. Cancel, closing the dialog, OK
// without a choice, or a choice that is no longer a folder all answer "".
// Runs its own event loop, so the other windows stay usable meanwhile and a
// nested call finishes before the one it was started from.
std::string SelectFolder();

}  // namespace batchext
