#pragma once

#include <QString>

#include "core/reporter.h"

class QWidget;

namespace lumarest {

// Every message box of the window goes through here, so tests can answer them.
class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    virtual void ShowMessage(const QString& text, MessageIcon icon) = 0;
    // Yes/No with No as the default and a question icon; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
};

// Modal QMessageBoxes captioned "Lumarest" over the window.
class QtMessagePresenter : public MessagePresenter {
  public:
    explicit QtMessagePresenter(QWidget* parent) : parent_(parent) {}
    void ShowMessage(const QString& text, MessageIcon icon) override;
    bool AskYesNo(const QString& text) override;

  private:
    QWidget* parent_;
};

}  // namespace lumarest
