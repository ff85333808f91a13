// Handing files and folders to the desktop. What the desktop cannot open is said in a box,
// never left to its error stream.

#include "app/desktop_open.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <string>

#include "app/wizard_environment.h"

namespace lumarest {

void OpenOnDesktop(WizardEnvironment& env, QWidget* parent, const QUrl& url,
                   const QString& recoveredName) {
    if (env.shell->Open(url)) {
        return;
    }
    const QFileInfo target(url.toLocalFile());
    const bool folder = url.isLocalFile() && target.isDir();
    const QString shown =
        url.isLocalFile() ? QDir::toNativeSeparators(target.filePath()) : url.toDisplayString();
    const QString text =
        recoveredName.isEmpty()
            ? QStringLiteral("No program of the desktop could open the %1 %2.")
                  .arg(folder ? QStringLiteral("folder") : QStringLiteral("file"), shown)
            : QStringLiteral("No program of the desktop could open %1, copied to %2.")
                  .arg(recoveredName, shown);
    // A folder is not offered its own parent: that is not what the user asked for.
    const bool folderOffered = url.isLocalFile() && !folder;
    switch (env.messages->AskAfterFailedOpen(text, folderOffered)) {
        case OpenFailedChoice::OpenWith:
            OpenWithChosenProgram(env, parent, url);
            break;
        case OpenFailedChoice::OpenContainingFolder: {
            const QString holder = target.absolutePath();
            if (!env.shell->Open(QUrl::fromLocalFile(holder))) {
                env.messages->ShowMessage(
                    QString::fromStdString("No program of the desktop could open the folder " +
                                           QDir::toNativeSeparators(holder).toStdString() +
                                           " either."),
                    MessageIcon::Error);
            }
            break;
        }
        case OpenFailedChoice::Cancel:
            break;
    }
}

void OpenWithChosenProgram(WizardEnvironment& env, QWidget* parent, const QUrl& url) {
    if (!env.shell->OpenWith(url, parent)) {
        env.messages->ShowMessage(
            QString::fromStdString("The chosen program could not be started to open " +
                                   QDir::toNativeSeparators(url.toLocalFile()).toStdString() + "."),
            MessageIcon::Error);
    }
}

}  // namespace lumarest
