#include "app/shell_opener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace lumarest {

namespace {
constexpr int kQueryTimeoutMs = 3000;
constexpr const char* kOwnFolderName = "/lumarest";
const char* const kOpenWithTitle = "Open With";
const char* const kProgramsFolder = "/usr/bin";
}  // namespace

bool DesktopShellOpener::Open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

// The desktop's own answer, from the default application registered for the file's type.
bool DesktopShellOpener::HasAssociatedProgram(const QUrl& url) {
    if (!url.isLocalFile()) {
        return true;
    }
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (query.isEmpty()) {
        // Nothing to ask: let the desktop try.
        return true;
    }
    const QMimeType type = QMimeDatabase().mimeTypeForFile(url.toLocalFile());
    QProcess process;
    process.start(query, {QStringLiteral("query"), QStringLiteral("default"), type.name()});
    if (!process.waitForFinished(kQueryTimeoutMs)) {
        process.kill();
        return true;
    }
    return !process.readAllStandardOutput().trimmed().isEmpty();
}

bool DesktopShellOpener::OpenWith(const QUrl& url, QWidget* parent) {
    const QString program = QFileDialog::getOpenFileName(parent, QString::fromUtf8(kOpenWithTitle),
                                                         QString::fromUtf8(kProgramsFolder));
    return program.isEmpty() || QProcess::startDetached(program, {url.toLocalFile()});
}

QString OpenedFilesBase() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        return runtime + QLatin1String(kOwnFolderName);
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QLatin1String(kOwnFolderName);
}

}  // namespace lumarest
