#pragma once

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

class DesktopShellOpener : public ShellOpener {
  public:
    bool Open(const QUrl& url) override;
    bool HasAssociatedProgram(const QUrl& url) override;
    void OpenWith(const QUrl& url, QWidget* parent) override;
};

}  // namespace lumarest
