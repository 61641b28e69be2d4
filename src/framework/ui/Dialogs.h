#pragma once
// The folder dialog and the save dialog. Tests answer them through a responder.
#include "framework/files/FolderItem.h"

#include <functional>
#include <string>
#include <vector>

namespace fw {

// The folder the user chose, or nil when the dialog was cancelled.
Ref<FolderItem> SelectFolder();
// The file the user named for saving, or nil when cancelled. The dialog proposes the name
// given and asks before it replaces an existing file.
Ref<FolderItem> GetSaveFolderItem(const String& fileType, const String& proposedName);

namespace testing {
enum class DialogKind { SelectFolder, SaveFile };
// Answers every dialog in place of the user while set; the answer is an absolute path, or
// an empty string for a cancelled dialog.
using DialogResponder = std::function<std::string(DialogKind kind, const std::string& proposedName)>;
void SetDialogResponder(DialogResponder responder);
// Answers the next dialogs with these paths, in order ("" cancels; none left cancels too).
void AnswerDialogs(std::vector<std::string> answers);
} // namespace testing

} // namespace fw
