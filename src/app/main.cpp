#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>
#include <cstdio>

#include "app/wizard_window.h"
#include "output/picture.h"
#include "program/program_files.h"
#include "service/system_disk_service.h"
#include "ui/splash.h"

namespace {
constexpr int kBadArguments = 2;
const char* const kDescription =
    "Finds lost and deleted photos and files on disks, memory cards and disk images.";
const char* const kExitAddressKey = "ExitWebAddress";
}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumarest"));
    lumarest::QuietPictureDecoders();
    lumarest::ReturnDecodedMemory();
    QApplication::setOrganizationName(QStringLiteral("Lumarest"));
    QApplication::setApplicationVersion(QString::fromUtf8(lumarest::ProgramVersion()));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption imageOption(
        QStringLiteral("image"),
        QStringLiteral("Attach the raw disk image PATH read-only as the next disk (repeatable)."),
        QStringLiteral("PATH"));
    parser.addOption(imageOption);
    if (!parser.parse(QApplication::arguments())) {
        std::fprintf(stderr, "lumarest: %s\n", qPrintable(parser.errorText()));
        return kBadArguments;
    }
    if (parser.isSet(helpOption)) {
        parser.showHelp(0);
    }
    if (parser.isSet(versionOption)) {
        parser.showVersion();
    }

    lumarest::WizardEnvironment environment;
    for (const QString& image : parser.values(imageOption)) {
        environment.images.push_back(image.toStdString());
    }
    environment.alwaysAskDiskService = lumarest::AlwaysAskDiskService();
    environment.exitAddress = QSettings().value(QString::fromUtf8(kExitAddressKey)).toString();

    {
        lumarest::CSplash splash;
        splash.exec();
    }
    lumarest::CChildDialogExDemoDlg window(std::move(environment));
    window.exec();
    return 0;
}
