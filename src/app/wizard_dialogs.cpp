#include "app/wizard_dialogs.h"

#include <QFileDialog>

#include "app/wizard_texts.h"
#include "ui/about_dlg.h"
#include "ui/advance_dlg.h"
#include "ui/msg_stand.h"

namespace lumarest {

void QtWizardDialogs::ShowAbout(QWidget* parent) {
    CAboutDlg about(parent);
    about.exec();
}

void QtWizardDialogs::ShowDestinationNotice(QWidget* parent) {
    CAdvanceDlg notice(parent);
    notice.exec();
}

QString QtWizardDialogs::ChooseDestinationFolder(QWidget* parent) {
    return QFileDialog::getExistingDirectory(parent,
                                             QString::fromUtf8(texts::kDestinationBrowseTitle));
}

QString QtWizardDialogs::ChooseDiskImage(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent,
                                        QString::fromUtf8(texts::kAddDiskImage).remove("..."),
                                        QString(), QString::fromUtf8(texts::kDiskImageFilters));
}

void QtWizardDialogs::ShowSearchCompleted(QWidget* parent) {
    CMsgStand box(parent);
    box.exec();
}

void QtWizardDialogs::ShowSearchEnded(QWidget* parent, const SearchEndNotice& notice) {
    std::vector<std::string> lines{notice.heading};
    lines.insert(lines.end(), notice.lines.begin(), notice.lines.end());
    CMsgStand box(lines, parent);
    box.exec();
}

}  // namespace lumarest
