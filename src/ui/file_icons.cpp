#include "ui/file_icons.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

namespace lumarest {

QIcon FileIcons::Folder() {
    if (folder_.isNull()) {
        folder_ = QIcon::fromTheme(QStringLiteral("folder"),
                                   QApplication::style()->standardIcon(QStyle::SP_DirIcon));
    }
    return folder_;
}

QIcon FileIcons::ForName(const QString& name) {
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot).toLower();
    const auto known = byExtension_.constFind(extension);
    if (known != byExtension_.constEnd()) {
        return *known;
    }
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("file") + extension,
                                                           QMimeDatabase::MatchExtension);
    const QIcon fallback = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull()) {
        icon = fallback;
    }
    byExtension_.insert(extension, icon);
    return icon;
}

}  // namespace lumarest
