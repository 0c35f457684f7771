# The Debian package: `cmake --build <build> --target package` (or `cpack -G
# DEB` in the build folder) makes tavrix_<version>_<arch>.deb of everything
# `cmake --install` puts in place, under /usr. Configure the build with
# -DCMAKE_INSTALL_PREFIX=/usr for it: the prefix is compiled into
# libtavrixclient (where it first looks for the viewer; it then tries PATH)
# and chooses the library folder (lib/<multiarch> under /usr).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrix)
set(CPACK_PACKAGE_VENDOR Veradyne)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for numeric arrays from C and Fortran programs")
set(CPACK_PACKAGE_DESCRIPTION
  "Tavrix shows a numeric array as a spreadsheet and as a height plot, image map,\n"
  "vector graph or plane view drawn by plotrane2d, its OpenGL graph control. It\n"
  "opens agl files, HDF4 files, NumPy .npy files, bitmaps and named shared-memory\n"
  "segments that running programs fill. The package holds the viewer, agltool,\n"
  "tavrixctl, libagl and libtavrixclient (with C headers, Fortran modules,\n"
  "pkg-config files and a Python module) and libplotrane2d for Qt hosts.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(TAVRIX_PACKAGE_CONTACT "Tavrix developers <tavrix@localhost>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TAVRIX_PACKAGE_CONTACT}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the programs' and libraries' own needs
# (dpkg-shlibdeps); the HDF helper and the renderer need no more than that.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The packaged libraries resolve each other: dpkg-shlibdeps looks for them in
# the build tree rather than in installed packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# What the programs load at run time without linking it: Mesa's drivers for
# the renderer's EGL context (without them the graph stays empty), and a
# font for the axes and labels.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
set(CPACK_STRIP_FILES ON)
include(CPack)
