#pragma once

#include <string>

#include "app/message_presenter.h"
#include "app/wizard_stage.h"

namespace lumarest {

class Reporter;

// What a page asks of the window around it: the stage shown, the status line, Next, the
// boxes and the reporting port. A page never reaches into another page.
class WizardFrame {
  public:
    virtual ~WizardFrame() = default;
    virtual WizardStage Stage() const = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetNextEnabled(bool enabled) = 0;
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    virtual Reporter& WindowReport() = 0;
};

}  // namespace lumarest
