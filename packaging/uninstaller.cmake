# The uninstaller of a by-hand install (`cmake --install build --prefix P`),
# run by the install itself twice: with TAMREK_UNINSTALLER_STEP "record"
# before the first file, to note the directories that do not exist yet, and
# with "write" after the last, to write share/doc/tamrek/uninstall.sh from
# uninstall.sh.in.  That script removes every file the install wrote and
# every directory it created, the prefix itself included, and nothing else.
# It finds the prefix from where it lies, so it needs no build directory
# and no path is written into it: any prefix works, spaces and Japanese
# included.  install.cmake sets TAMREK_DOC_DIR, TAMREK_INSTALL_DIRS (the
# directories, relative to the prefix, "." for the prefix) and
# TAMREK_INSTALLED_FILES (relative to the prefix).

set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
if(TAMREK_UNINSTALLER_STEP STREQUAL "record")
  set(TAMREK_CREATED_DIRECTORIES "")
  foreach(directory IN LISTS TAMREK_INSTALL_DIRS)
    if(NOT EXISTS "${root}/${directory}")
      list(APPEND TAMREK_CREATED_DIRECTORIES "${directory}")
    endif()
  endforeach()
  return()
endif()

set(TAMREK_REMOVE_PREFIX "# The prefix was there before the install.")
list(FIND TAMREK_CREATED_DIRECTORIES . prefixCreated)
if(NOT prefixCreated EQUAL -1)
  set(TAMREK_REMOVE_PREFIX "rmdir \"$prefix\" 2>/dev/null || true")
endif()
set(created "${TAMREK_CREATED_DIRECTORIES}")
list(REMOVE_ITEM created .)
list(REVERSE created)  # the deepest first
list(JOIN created " " TAMREK_CREATED_DIRECTORIES)
list(JOIN TAMREK_INSTALLED_FILES " " TAMREK_INSTALLED_FILES)
configure_file("${CMAKE_CURRENT_LIST_DIR}/uninstall.sh.in"
               "${root}/${TAMREK_DOC_DIR}/uninstall.sh" @ONLY)
message(STATUS "To uninstall: sh '${CMAKE_INSTALL_PREFIX}/${TAMREK_DOC_DIR}/uninstall.sh'")
