#pragma once

#include <QIcon>

namespace lumarest {

// The item pictures of the left-panel trees, by their fixed indices: 2 a top item, 3 a folder
// that was open before, 4 a closed folder, 5 the folder open in the file list, 7 a folder
// opened from the file list; 0 and 1 stand for disks, partitions and volumes.
enum TreeImage {
    kImageDrive = 0,
    kImageRemovable = 1,
    kImageTopItem = 2,
    kImageFolderVisited = 3,
    kImageFolderClosed = 4,
    kImageFolderOpen = 5,
    kImageFile = 6,
    kImageFolderOpened = 7,
};

QIcon TreeImageIcon(int image);
// The picture of an item, with its selected picture for when it is selected.
QIcon TreeItemIcon(int image, int selectedImage);

}  // namespace lumarest
