#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace lumarest {

// Opens a file or web address with the program the desktop associates with it.
class ShellOpener {
  public:
    virtual ~ShellOpener() = default;
    // False when the desktop could not hand it to a program.
    virtual bool Open(const QUrl& url) = 0;
    // True when the desktop knows a program for the type of this local file.
    virtual bool HasAssociatedProgram(const QUrl&) { return true; }
    // Lets the user choose a program for a file whose type has none, and opens it with it.
    // False when the chosen program could not be started; choosing none is no failure.
    virtual bool OpenWith(const QUrl&, QWidget*) { return true; }
};

// Where the copies of recovered files opened with the desktop's programs go: below the user's
// runtime folder, or the user's cache folder when the session has none; never the temporary
// folder every user of the machine can read.
QString OpenedFilesBase();

class DesktopShellOpener : public ShellOpener {
  public:
    bool Open(const QUrl& url) override;
    bool HasAssociatedProgram(const QUrl& url) override;
    bool OpenWith(const QUrl& url, QWidget* parent) override;
};

}  // namespace lumarest
