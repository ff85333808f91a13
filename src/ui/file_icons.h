#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

namespace lumarest {

// The desktop's small pictures for the file list: one for folders, and one per file type chosen
// by the name's extension alone, so the recovered file is never touched. Each is looked up once.
class FileIcons {
  public:
    QIcon Folder();
    QIcon ForName(const QString& name);

  private:
    QIcon folder_;
    QHash<QString, QIcon> byExtension_;
};

}  // namespace lumarest
