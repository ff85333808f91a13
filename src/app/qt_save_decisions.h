#pragma once

#include "volume/recovered_save.h"

class QWidget;

namespace lumarest {

class CCountFilesDlg;

// The user's answers while recovered files are saved: the replace and write-error boxes, and
// the progress window with its "Stop " button. Window thread only.
class QtSaveDecisions : public SaveDecisions {
  public:
    QtSaveDecisions(QWidget* parent, CCountFilesDlg* progress);

    Replace AskReplace(const std::string& path, const std::string& renamed,
                       bool& applyToAll) override;
    WriteError AskWriteError(const std::string& path) override;
    bool Progress(std::size_t done, std::size_t total, const std::string& path) override;

  private:
    QWidget* parent_;
    CCountFilesDlg* progress_;
};

}  // namespace lumarest
