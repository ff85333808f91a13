#include "app/save_folder_question.h"

#include <QString>

#include "app/wizard_dialogs.h"
#include "app/wizard_frame.h"
#include "carving/destination_folder.h"

namespace lumarest {

std::optional<ChosenSaveFolder> AskSaveFolder(WizardDialogs& dialogs, WizardFrame& frame,
                                              QWidget* window, const std::string& searchedDevice) {
    dialogs.ShowDestinationNotice(window);
    const std::string path = dialogs.ChooseDestinationFolder(window).toStdString();
    if (path.empty()) {
        return std::nullopt;
    }
    // The folder checked stays open and takes the files, whatever its path names meanwhile.
    std::string refusal;
    std::optional<FolderHandle> handle = OpenDestinationFolder(path, searchedDevice, refusal);
    if (!handle) {
        frame.ShowMessage(refusal, MessageIcon::Error);
        return std::nullopt;
    }
    return ChosenSaveFolder{path, std::move(*handle)};
}

}  // namespace lumarest
