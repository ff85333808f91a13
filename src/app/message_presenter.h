#pragma once

#include <QString>

#include "core/reporter.h"

class QWidget;

namespace lumarest {

// What the user chose after the desktop could not open something.
enum class OpenFailedChoice { OpenWith, OpenContainingFolder, Cancel };

// Every message box of the window goes through here, so tests can answer them.
class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    virtual void ShowMessage(const QString& text, MessageIcon icon) = 0;
    // Yes/No with No as the default and a question icon; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // Says what the desktop could not open and offers another program and, when
    // `folderOffered`, the folder holding it; Cancel is the default.
    virtual OpenFailedChoice AskAfterFailedOpen(const QString& text, bool folderOffered) = 0;
};

// Modal QMessageBoxes captioned "Lumarest" over the window.
class QtMessagePresenter : public MessagePresenter {
  public:
    explicit QtMessagePresenter(QWidget* parent) : parent_(parent) {}
    void ShowMessage(const QString& text, MessageIcon icon) override;
    bool AskYesNo(const QString& text) override;
    OpenFailedChoice AskAfterFailedOpen(const QString& text, bool folderOffered) override;

  private:
    QWidget* parent_;
};

}  // namespace lumarest
