# The Debian package: `cpack -G DEB` in the build folder (README, Install)
# writes zentrix-pictora_<version>_amd64.deb from the installed tree under /usr.
# Its dependencies come from the binaries (dpkg-shlibdeps); it recommends
# what disk access, the preview and the help need at run time.
set(CPACK_PACKAGE_NAME zentrix-pictora)
set(CPACK_PACKAGE_VENDOR Zentrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "get back deleted photos, sound and video from cards and disks")
set(CPACK_PACKAGE_DESCRIPTION
  "Zentrix for Pictora reads a memory card, a disk or a disk image sector by sector and finds
the photos, sound and video that still lie on it by their signatures. A desktop wizard
(pictora) and a command line (pictora-cli) preview and save what was found, and copy a
failing medium into an image set first. The medium is only ever read; a disk the user
may not read is opened read-only through udisks2.")
set(CPACK_PACKAGE_CONTACT "Zentrix <support@zentrix-pictora.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# sd-bus is loaded only when a disk is asked of udisks2, so dpkg-shlibdeps
# cannot see it: named here (its sd_bus_flush_close_unref came in 222).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsystemd0 (>= 222)")
# udisks2 and polkitd (its pkttyagent) open disks for a normal user; the
# image plugins add TIFF to the picture preview and the multimedia library
# brings the FFmpeg back end that plays sound and video; xdg-open opens the
# user guide and the logs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udisks2, polkitd, qt6-image-formats-plugins, libqt6multimedia6, xdg-utils")
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
# The package is made from a finished build; cpack need not walk the whole
# build again first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
