#pragma once

#include <QString>

#include "app/search_end_notice.h"

class QWidget;

namespace lumarest {

// The small modal dialogs the wizard opens, behind one seam so tests never block on them.
class WizardDialogs {
  public:
    virtual ~WizardDialogs() = default;
    virtual void ShowAbout(QWidget* parent) = 0;
    // The notice read before choosing where recovered data goes.
    virtual void ShowDestinationNotice(QWidget* parent) = 0;
    // The chosen folder, or an empty text when cancelled.
    virtual QString ChooseDestinationFolder(QWidget* parent) = 0;
    // The chosen image file, or an empty text when cancelled.
    virtual QString ChooseDiskImage(QWidget* parent) = 0;
    // CMsgStand: the end of a Raw search, with its advice.
    virtual void ShowSearchCompleted(QWidget* parent) = 0;
    // The end of any other search, or of a stopped one: what was searched and what was found.
    virtual void ShowSearchEnded(QWidget* parent, const SearchEndNotice& notice) = 0;
};

class QtWizardDialogs : public WizardDialogs {
  public:
    void ShowAbout(QWidget* parent) override;
    void ShowDestinationNotice(QWidget* parent) override;
    QString ChooseDestinationFolder(QWidget* parent) override;
    QString ChooseDiskImage(QWidget* parent) override;
    void ShowSearchCompleted(QWidget* parent) override;
    void ShowSearchEnded(QWidget* parent, const SearchEndNotice& notice) override;
};

}  // namespace lumarest
