#pragma once

#include <QUrl>

namespace lumarest {

// Opens a file or web address with the program the desktop associates with it.
class ShellOpener {
  public:
    virtual ~ShellOpener() = default;
    virtual bool Open(const QUrl& url) = 0;
};

class DesktopShellOpener : public ShellOpener {
  public:
    bool Open(const QUrl& url) override;
};

}  // namespace lumarest
