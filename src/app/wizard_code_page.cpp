#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "app/disk_page.h"
#include "app/partition_criteria_panel.h"
#include "app/settings_place.h"
#include "app/wizard_window.h"
#include "core/oem_code_page.h"

namespace lumarest {

namespace {

constexpr const char* kSettingsFile = "settings.ini";
constexpr const char* kCodePageKey = "ShortNameCodePage";

// Kept beside the parameter store, which is emptied whenever the disk list is read again.
QString SettingsPath(const ParameterStore& store) {
    return QFileInfo(QString::fromStdString(store.Path())).dir().filePath(kSettingsFile);
}

}  // namespace

void CChildDialogExDemoDlg::RestoreCodePage() {
    QString chosen;
    if (!store_.Path().empty()) {
        chosen =
            QSettings(SettingsPath(store_), QSettings::IniFormat).value(kCodePageKey).toString();
    }
    if (!partitionCriteria_->SelectCodePage(chosen)) {
        partitionCriteria_->SelectCodePage(QString::fromUtf8(kDefaultOemCodePage));
    }
    run_.oemCodePage = OemCodePage::Load(partitionCriteria_->CodePageName().toStdString())
                           .value_or(run_.oemCodePage);
}

void CChildDialogExDemoDlg::OnCodePageChosen() {
    const QString name = partitionCriteria_->CodePageName();
    const std::optional<OemCodePage> page = OemCodePage::Load(name.toStdString());
    if (!page) {
        ShowMessage("The code page " + name.toStdString() + " is not available on this system.",
                    MessageIcon::Error);
        return;
    }
    run_.oemCodePage = *page;
    // Remembered only where writing cannot touch the disk being searched.
    if (!SettingsMayBeWritten(store_.Path(), diskPage_->SearchedSources())) {
        return;
    }
    QSettings settings(SettingsPath(store_), QSettings::IniFormat);
    settings.setValue(kCodePageKey, name);
}

}  // namespace lumarest
