#include "ui/tree_images.h"

#include <QApplication>
#include <QStyle>

namespace lumarest {

namespace {
constexpr int kIconSize = 16;

QStyle::StandardPixmap PixmapFor(int image) {
    switch (image) {
        case kImageRemovable:
            return QStyle::SP_DriveFDIcon;
        case kImageTopItem:
            return QStyle::SP_ComputerIcon;
        case kImageFolderVisited:
            return QStyle::SP_DirLinkIcon;
        case kImageFolderClosed:
            return QStyle::SP_DirClosedIcon;
        case kImageFolderOpen:
        case kImageFolderOpened:
            return QStyle::SP_DirOpenIcon;
        case kImageFile:
            return QStyle::SP_FileIcon;
        default:
            return QStyle::SP_DriveHDIcon;
    }
}
}  // namespace

QIcon TreeImageIcon(int image) {
    return QApplication::style()->standardIcon(PixmapFor(image));
}

QIcon TreeItemIcon(int image, int selectedImage) {
    QIcon icon;
    icon.addPixmap(TreeImageIcon(image).pixmap(kIconSize), QIcon::Normal);
    icon.addPixmap(TreeImageIcon(selectedImage).pixmap(kIconSize), QIcon::Selected);
    return icon;
}

}  // namespace lumarest
