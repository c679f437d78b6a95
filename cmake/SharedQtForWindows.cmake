# Included at the start of project() by the "windows" preset: unpacks the shared Qt for
# Windows (Core, Gui, Widgets, cross-built with mingw-w64) into the build tree, where the
# preset's CMAKE_PREFIX_PATH looks for it. It is unpacked again only when the archive changes,
# so a reconfigure costs a checksum, not a 70 MB extraction.
#
#   ANUNCIEL_QT_ARCHIVE  the archive (qt6-mingw.tar.xz, which unpacks to qt6-mingw/)
#   ANUNCIEL_QT_DIR      where the unpacked qt6-mingw/ is to be

if(NOT ANUNCIEL_QT_ARCHIVE OR NOT ANUNCIEL_QT_DIR)
  message(FATAL_ERROR "Set ANUNCIEL_QT_ARCHIVE and ANUNCIEL_QT_DIR (the windows preset does)")
endif()
# This Qt is for mingw-w64 only; read here also so that a reconfigure does not call the
# preset's toolchain file unused.
if(NOT CMAKE_TOOLCHAIN_FILE MATCHES "mingw")
  message(FATAL_ERROR "The Qt for Windows needs the mingw-w64 toolchain file (the windows preset)")
endif()
if(NOT EXISTS "${ANUNCIEL_QT_ARCHIVE}")
  message(FATAL_ERROR "The Qt for Windows is not there: ${ANUNCIEL_QT_ARCHIVE}\n"
    "Rebuild it with tools/build-qt6-mingw.sh, or point ANUNCIEL_QT_ARCHIVE at a copy.")
endif()

file(SHA256 "${ANUNCIEL_QT_ARCHIVE}" _anunciel_qt_sum)
set(_anunciel_qt_stamp "${ANUNCIEL_QT_DIR}/.unpacked-from")
set(_anunciel_qt_had "")
if(EXISTS "${_anunciel_qt_stamp}")
  file(READ "${_anunciel_qt_stamp}" _anunciel_qt_had)
endif()
if(NOT _anunciel_qt_had STREQUAL _anunciel_qt_sum)
  message(STATUS "Unpacking ${ANUNCIEL_QT_ARCHIVE}")
  # A fresh folder: nothing of an older Qt may stay behind to be found.
  file(REMOVE_RECURSE "${ANUNCIEL_QT_DIR}")
  get_filename_component(_anunciel_qt_parent "${ANUNCIEL_QT_DIR}" DIRECTORY)
  set(_anunciel_qt_scratch "${_anunciel_qt_parent}/qt6-mingw.unpacking")
  file(REMOVE_RECURSE "${_anunciel_qt_scratch}")
  file(ARCHIVE_EXTRACT INPUT "${ANUNCIEL_QT_ARCHIVE}" DESTINATION "${_anunciel_qt_scratch}")
  if(NOT EXISTS "${_anunciel_qt_scratch}/qt6-mingw/lib/cmake/Qt6/Qt6Config.cmake")
    message(FATAL_ERROR "${ANUNCIEL_QT_ARCHIVE} does not hold qt6-mingw/lib/cmake/Qt6")
  endif()
  file(RENAME "${_anunciel_qt_scratch}/qt6-mingw" "${ANUNCIEL_QT_DIR}")
  file(REMOVE_RECURSE "${_anunciel_qt_scratch}")
  # Written last: an extraction cut short is done again next time.
  file(WRITE "${_anunciel_qt_stamp}" "${_anunciel_qt_sum}")
endif()
