#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/message_presenter.h"
#include "app/wizard_stage.h"

namespace lumarest {

class Reporter;
struct DiskInputs;

// The buttons of the window's button row a page may show, hide, enable or disable.
enum class FrameButton { Save, OpenFolder, StopSearch, Back, Next };

// What a page asks of the window around it: the stage shown, the status line, the buttons of
// the button row, the boxes, the desktop, the disk shown and the reporting port. A page never
// reaches into another page.
class WizardFrame {
  public:
    virtual ~WizardFrame() = default;
    virtual WizardStage Stage() const = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetNextEnabled(bool enabled) = 0;
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    virtual Reporter& WindowReport() = 0;
    virtual void ShowFrameButton(FrameButton button, bool shown) = 0;
    virtual void EnableFrameButton(FrameButton button, bool enabled) = 0;
    // Hands a folder to the desktop; a box says so when no program takes it.
    virtual void OpenFolder(const std::string& folder) = 0;
    // The shown disk as read from `devicePath`, for a reader of it.
    virtual DiskInputs ShownDiskInputs(std::string devicePath) const = 0;
    // The run's details list, which several pages show: its columns named and sized, and every
    // page reading it again after its rows changed.
    virtual void SetDetailsColumns(const std::vector<std::pair<std::string, int>>& columns) = 0;
    virtual void ReloadDetailsList() = 0;
};

}  // namespace lumarest
