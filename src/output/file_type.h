#pragma once

#include <string>
#include <string_view>

namespace lumarest {

// The two listings word two of the groups differently: archives and registry files read as
// "Compressed File" and "Windows Registry file" in a FAT folder walked through its cluster
// chain, and as "Winzip File" and "Registry file" in the fixed FAT16 root and on NTFS.
enum class FileTypeWording {
    ClusterChainFolder,
    RootFolderOrNtfs,
};

// The type shown in the file list for a name, decided by its ending alone. The endings are
// compared byte for byte, so "PHOTO.JPG" and "photo.jpg" are pictures and "Photo.Jpg" is a
// plain "File". Names are UTF-8; the endings are ASCII and never match inside a multi-byte
// character.
std::string FileTypeDescription(std::string_view name, FileTypeWording wording);

// The extension the shell icon for a name is chosen by: the text from the last "." on, or
// empty when the name has no dot.
std::string_view IconExtension(std::string_view name);

}  // namespace lumarest
