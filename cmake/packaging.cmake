# A Debian package of what `cmake --install` puts in place: `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME lumarest)
set(CPACK_PACKAGE_VENDOR "Lumarest")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Find lost and deleted photos and files on disks, memory cards and disk images")
set(CPACK_PACKAGE_DESCRIPTION
    "Lumarest rebuilds the folder trees of FAT16, FAT32, NTFS and exFAT partitions, finds file "
    "systems that nothing describes any more and carves pictures and other files out of raw "
    "sectors. "
    "It comes as a wizard window (lumarest) and a command line (lumarest-cli), and only ever "
    "reads the disks and disk images it searches.")
set(LUMAREST_PACKAGE_MAINTAINER "Lumarest developers <lumarest@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${LUMAREST_PACKAGE_MAINTAINER})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Qt finds its image-format plugins (TIFF, WebP) and the desktop's file opener at run time,
# where no library link shows them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, xdg-utils")
find_program(LUMAREST_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(LUMAREST_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  # Debian 12's names for what the programs link.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libgcc-s1, zlib1g, libtiff6, libqt6core6, libqt6gui6, libqt6widgets6")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
