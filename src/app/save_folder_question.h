#pragma once

#include <optional>
#include <string>

#include "core/new_file.h"

class QWidget;

namespace lumarest {

class WizardDialogs;
class WizardFrame;

// The folder recovered files are saved into, as the user chose it, opened and checked.
struct ChosenSaveFolder {
    std::string path;
    FolderHandle handle;
};

// Says where recovered files must not go, asks for the folder and checks it is not on
// `searchedDevice`: writing there could overwrite the very sectors being recovered. Empty when
// the user chose none, or when it was refused with a box saying why.
std::optional<ChosenSaveFolder> AskSaveFolder(WizardDialogs& dialogs, WizardFrame& frame,
                                              QWidget* window, const std::string& searchedDevice);

}  // namespace lumarest
