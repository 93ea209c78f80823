# Run by scripts/install with `cmake -DBUILD_DIR=... -DCMAKE_INSTALL_PREFIX=... -P`: installs the
# build tree BUILD_DIR into the prefix, as `cmake --install` does, and adds what it installed to the
# prefix's list of installed files, lib/tindra/install_manifest.txt, one path a line, relative to
# the prefix. scripts/uninstall removes what the list names and nothing else.
#
# The build tree's own install_manifest.txt is shared by every installation made from the tree and
# names the prefix as it was written; this list is the prefix's alone and holds, besides itself,
# every file that any installation into the prefix wrote, so that a file an earlier version
# installed goes with the rest.
cmake_minimum_required(VERSION 3.22)
foreach(variable BUILD_DIR CMAKE_INSTALL_PREFIX)
  if(NOT ${variable})
    message(FATAL_ERROR "TindraInstall.cmake: falta ${variable}")
  endif()
endforeach()

include("${BUILD_DIR}/cmake_install.cmake")

set(manifest "${CMAKE_INSTALL_PREFIX}/lib/tindra/install_manifest.txt")
set(installed "lib/tindra/install_manifest.txt")
if(EXISTS "${manifest}")
  file(STRINGS "${manifest}" earlier)
  list(APPEND installed ${earlier})
endif()
foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
  file(RELATIVE_PATH relative "${CMAKE_INSTALL_PREFIX}" "${file}")
  list(APPEND installed "${relative}")
endforeach()
list(REMOVE_DUPLICATES installed)
list(SORT installed)
list(JOIN installed "\n" text)
file(WRITE "${manifest}" "${text}\n")
