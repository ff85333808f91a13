#pragma once

namespace lumarest {

// The page the wizard shows; Next and Back move between them.
enum class WizardStage : int {
    DiskPage = 0,
    Criteria = 1,
    FoundVolumes = 2,
    FolderResults = 3,
    RawResults = 4,
};

}  // namespace lumarest
