#pragma once

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/window_fakes.h"
#include "app/wizard_window.h"
#include "ui/mytreectrl.h"

namespace lumarest::testing {

// One window with every outside part replaced, and the replacements still in reach.
struct WindowHarness {
    ScriptedMessages* messages = nullptr;
    RecordingShell* shell = nullptr;
    FakeDialogs* dialogs = nullptr;
    std::unique_ptr<CChildDialogExDemoDlg> window;

    template <typename T>
    T* Find(const char* name) const {
        return window->findChild<T*>(QString::fromUtf8(name));
    }
    RecoveryRun& Run() const { return window->Run(); }
    WizardStage Stage() const { return window->Stage(); }
    mytreectrl* DiskTree() const { return Find<mytreectrl>("DiskTree"); }
    QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }
};

// A window with the recording seams in place of the outside parts; `folder` keeps the
// parameter store. Without disks of its own an empty enumerator folder keeps this machine's
// disks away.
inline WindowHarness OpenWindow(WizardEnvironment environment, const QTemporaryDir& folder) {
    WindowHarness harness;
    auto messages = std::make_unique<ScriptedMessages>();
    auto shell = std::make_unique<RecordingShell>();
    auto dialogs = std::make_unique<FakeDialogs>();
    harness.messages = messages.get();
    harness.shell = shell.get();
    harness.dialogs = dialogs.get();
    environment.messages = std::move(messages);
    environment.shell = std::move(shell);
    environment.dialogs = std::move(dialogs);
    if (!environment.disks) {
        const std::string noDisks = folder.filePath(QStringLiteral("no-disks")).toStdString();
        QDir().mkpath(QString::fromStdString(noDisks));
        environment.disks = std::make_unique<SystemDiskEnumerator>(
            noDisks, noDisks, folder.filePath(QStringLiteral("no-floppy")).toStdString());
    }
    environment.parameterStorePath = folder.filePath(QStringLiteral("store.ini")).toStdString();
    if (environment.dataFolder.isEmpty()) {
        environment.dataFolder = folder.filePath(QStringLiteral("program"));
    }
    harness.window = std::make_unique<CChildDialogExDemoDlg>(std::move(environment));
    harness.window->show();
    [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(harness.window.get());
    return harness;
}

// A window whose only disks are `images`, attached as on the command line.
inline WindowHarness OpenOnImages(const std::vector<std::string>& images,
                                  const QTemporaryDir& folder) {
    WizardEnvironment environment;
    environment.images = images;
    return OpenWindow(std::move(environment), folder);
}

inline QModelIndex ItemIndex(mytreectrl* tree, const QString& text) {
    const QModelIndexList found =
        tree->model()->match(tree->model()->index(0, 0), Qt::DisplayRole, text, 1,
                             Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? QModelIndex() : found.first();
}

// Clicks the item's text as a user does; false when no item has that text.
inline bool ClickItem(mytreectrl* tree, const QString& text) {
    const QModelIndex index = ItemIndex(tree, text);
    if (!index.isValid()) {
        return false;
    }
    tree->scrollTo(index);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(index).center());
    return true;
}

inline QStringList ChildTexts(mytreectrl* tree, const QModelIndex& parent) {
    QStringList texts;
    for (int row = 0; row < tree->model()->rowCount(parent); ++row) {
        texts << tree->model()->index(row, 0, parent).data().toString();
    }
    return texts;
}

inline QStringList TopChildren(mytreectrl* tree) {
    return ChildTexts(tree, tree->model()->index(0, 0));
}

// With LUMAREST_SHOTS_DIR set, keeps a picture of the window for a person to look at.
inline void SaveWindowShot(QWidget& window, const char* name) {
    const QString shots = qEnvironmentVariable("LUMAREST_SHOTS_DIR");
    if (!shots.isEmpty()) {
        QTest::qWait(50);  // lets the layout settle after pages were shown or hidden
        window.grab().save(QDir(shots).filePath(QString::fromUtf8(name)));
    }
}

}  // namespace lumarest::testing
