#include "app/shell_opener.h"

#include <QDesktopServices>

namespace lumarest {

bool DesktopShellOpener::Open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace lumarest
