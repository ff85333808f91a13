#pragma once

#include <QString>
#include <QThread>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

#include "app/message_presenter.h"
#include "app/shell_opener.h"
#include "app/wizard_dialogs.h"
#include "disk/disk_inventory.h"

namespace lumarest::testing {

// Answers every box as the test says and remembers what the user would have read.
class ScriptedMessages : public MessagePresenter {
  public:
    struct Shown {
        QString text;
        MessageIcon icon;
        QThread* thread;
    };
    void ShowMessage(const QString& text, MessageIcon icon) override {
        shown.push_back({text, icon, QThread::currentThread()});
    }
    bool AskYesNo(const QString& text) override {
        questions.push_back(text);
        askedOn = QThread::currentThread();
        return answer;
    }
    OpenFailedChoice AskAfterFailedOpen(const QString& text, bool folderOffered) override {
        failedOpens.push_back({text, folderOffered});
        return failedOpenAnswer;
    }

    struct FailedOpen {
        QString text;
        bool folderOffered;
    };
    std::vector<Shown> shown;
    std::vector<QString> questions;
    std::vector<FailedOpen> failedOpens;
    QThread* askedOn = nullptr;
    bool answer = false;
    OpenFailedChoice failedOpenAnswer = OpenFailedChoice::Cancel;
};

// Records what the window asks the desktop to open; the desktop has no program for what
// `refuses` answers true for.
class RecordingShell : public ShellOpener {
  public:
    bool Open(const QUrl& url) override {
        const bool refused = refuses && refuses(url);
        (refused ? refusedOpens : opened).push_back(url);
        return !refused;
    }
    bool OpenWith(const QUrl& url, QWidget*) override {
        openedWith.push_back(url);
        return programStarts;
    }
    std::vector<QUrl> opened;
    std::vector<QUrl> refusedOpens;
    std::vector<QUrl> openedWith;
    std::function<bool(const QUrl&)> refuses;
    bool programStarts = true;
};

class FakeDialogs : public WizardDialogs {
  public:
    void ShowAbout(QWidget*) override { ++abouts; }
    void ShowDestinationNotice(QWidget*) override { ++notices; }
    QString ChooseDestinationFolder(QWidget*) override {
        folderAskedAfterNotice = notices > 0;
        return folder;
    }
    QString ChooseDiskImage(QWidget*) override { return image; }
    void ShowSearchCompleted(QWidget*) override { ++searchCompletedBoxes; }
    void ShowSearchEnded(QWidget*, const SearchEndNotice& notice) override {
        searchEnded.push_back(notice);
    }

    int abouts = 0;
    int notices = 0;
    int searchCompletedBoxes = 0;
    std::vector<SearchEndNotice> searchEnded;
    bool folderAskedAfterNotice = false;
    QString folder;
    QString image;
};

// A machine with made-up disks, so the tests never depend on this machine's own.
class FakeDisks : public DiskEnumerator {
  public:
    std::vector<DiskProperties> ListDisks(const RecoveryRun&) override { return disks; }
    bool HasFloppy() const override { return floppy; }

    static DiskProperties Disk(std::uint32_t index, std::string mediaType, std::string model,
                               std::uint64_t totalSectors, std::string devicePath) {
        DiskProperties disk;
        disk.index = index;
        disk.mediaType = std::move(mediaType);
        disk.model = std::move(model);
        disk.interfaceType = "USB";
        disk.totalSectors = totalSectors;
        disk.totalHeads = 255;
        disk.sectorsPerTrack = 63;
        disk.totalCylinders = totalSectors / (255 * 63);
        disk.bytesPerSector = 512;
        disk.deviceId = devicePath;
        disk.devicePath = std::move(devicePath);
        return disk;
    }

    std::vector<DiskProperties> disks;
    bool floppy = false;
};

}  // namespace lumarest::testing
