#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/message_presenter.h"
#include "app/shell_opener.h"
#include "app/step_clock.h"
#include "app/wizard_dialogs.h"
#include "disk/disk_inventory.h"
#include "disk/sector_reader.h"
#include "disk/service_device_files.h"
#include "volume/recovered_save.h"

namespace lumarest {

// What the wizard window works with beyond itself. Every part left empty gets the real one:
// the machine's disks, Qt message boxes and dialogs, the desktop's opener, the user's
// parameter store and the program's data folder.
struct WizardEnvironment {
    std::unique_ptr<DiskEnumerator> disks;
    std::unique_ptr<MessagePresenter> messages;
    std::unique_ptr<ShellOpener> shell;
    std::unique_ptr<WizardDialogs> dialogs;
    std::string parameterStorePath;
    // Where "Software Guide.html" and the signature files lie.
    QString dataFolder;
    // Web address opened when the user leaves; empty opens nothing.
    QString exitAddress;
    // The answers while recovered files are saved; empty: the user's, through boxes.
    std::function<std::unique_ptr<SaveDecisions>()> saveDecisions;
    // Disk images attached before the first inventory, in order (--image).
    std::vector<std::string> images;
    // Steps the progress display of the BIOS path's partition re-listing; empty: a QTimer.
    std::unique_ptr<StepClock> stepClock;
    // The BIOS disk service of the 'F' access mode; Linux has none.
    std::unique_ptr<BiosDiskService> bios;
    // Asked for a read-only descriptor of a disk this user may not open; empty: the system's.
    std::unique_ptr<DiskService> diskService;
    // Ask the disk service even for disks this user may open.
    bool alwaysAskDiskService = false;
};

}  // namespace lumarest
