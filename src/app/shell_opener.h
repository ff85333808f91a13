#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace lumarest {

// Opens a file or web address with the program the desktop associates with it.
class ShellOpener {
  public:
    virtual ~ShellOpener() = default;
    virtual bool Open(const QUrl& url) = 0;
    // True when the desktop knows a program for the type of this local file.
    virtual bool HasAssociatedProgram(const QUrl&) { return true; }
    // Lets the user choose a program for a file whose type has none, and opens it with it.
    virtual void OpenWith(const QUrl&, QWidget*) {}
};

// Where the copies of recovered files opened with the desktop's programs go: below the user's
// runtime folder, or the user's cache folder when the session has none; never the temporary
// folder every user of the machine can read.
QString OpenedFilesBase();

class DesktopShellOpener : public ShellOpener {
  public:
    bool Open(const QUrl& url) override;
    bool HasAssociatedProgram(const QUrl& url) override;
    void OpenWith(const QUrl& url, QWidget* parent) override;
};

}  // namespace lumarest
