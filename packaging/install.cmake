# What `cmake --install` lays out and what `cpack` packs, by the kind of
# release package chosen with -DTAMREK_PACKAGE:
#   (empty)  bin/tamrek, share/man/man1/tamrek.1, share/doc/tamrek/README
#            and LICENSE, and share/doc/tamrek/uninstall.sh, which removes
#            all of it again (see the README)
#   tgz      README and LICENSE at the top, bin/tamrek statically linked (it
#            runs on any x86_64 Linux), share/man/man1/tamrek.1, packed as
#            tamrek-VERSION-linux-ARCH.tar.gz
#   deb      /usr/bin/tamrek, the manual page and the changelog gzipped, the
#            machine-readable copyright file and README in
#            /usr/share/doc/tamrek/, as tamrek_VERSION_ARCH.deb
#   zip      tamrek.exe, README.txt, LICENSE.txt and MANUAL.txt (the manual
#            page as text) with Windows line ends,
#            as tamrek-VERSION-win32.zip
# The READMEs of the packages are written for their readers:
# packaging/README-linux.txt and packaging/README-windows.txt.
# Included by the top-level CMakeLists.txt after the tamrek target.

set(TAMREK_PACKAGE "" CACHE STRING "Release package to build: tgz, deb or zip")
include(GNUInstallDirs)
set(tamrek_doc ${CMAKE_INSTALL_DATADIR}/doc/tamrek)
set(tamrek_man ${CMAKE_CURRENT_BINARY_DIR}/tamrek.1)

if(TAMREK_PACKAGE STREQUAL "" AND UNIX)
  # Before the first file: the directories the install is about to create,
  # for the uninstaller.
  set(dirs . ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_DATADIR}
      ${CMAKE_INSTALL_MANDIR} ${CMAKE_INSTALL_MANDIR}/man1
      ${CMAKE_INSTALL_DATADIR}/doc ${tamrek_doc})
  set(files ${CMAKE_INSTALL_BINDIR}/tamrek ${CMAKE_INSTALL_MANDIR}/man1/tamrek.1
      ${tamrek_doc}/README ${tamrek_doc}/LICENSE ${tamrek_doc}/uninstall.sh)
  install(CODE "set(TAMREK_DOC_DIR \"${tamrek_doc}\")
    set(TAMREK_INSTALL_DIRS \"${dirs}\")
    set(TAMREK_INSTALLED_FILES \"${files}\")
    set(TAMREK_UNINSTALLER_STEP record)")
  install(SCRIPT packaging/uninstaller.cmake)
endif()

if(TAMREK_PACKAGE STREQUAL "zip")
  install(TARGETS tamrek RUNTIME DESTINATION .)
else()
  install(TARGETS tamrek RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(UNIX AND CMAKE_OBJCOPY)
    # The compilers' version strings (.comment) are of no use at run time;
    # Debian's own packages drop them too.
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\"
        --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tamrek\"
        COMMAND_ERROR_IS_FATAL ANY)")
  endif()
endif()

if(TAMREK_PACKAGE STREQUAL "zip")
  # Text files as Windows editors expect them.
  foreach(pair "packaging/README-windows.txt;README.txt" "LICENSE;LICENSE.txt")
    list(GET pair 0 from)
    list(GET pair 1 to)
    file(READ ${PROJECT_SOURCE_DIR}/${from} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${to} "${text}")
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${to} DESTINATION .)
  endforeach()
  # The manual page as plain text (groff, no bold or underline), for a
  # system without man: MANUAL.txt, with Windows line ends.
  find_program(GROFF groff REQUIRED)
  add_custom_command(
    OUTPUT MANUAL.txt
    COMMAND sh -c "\"$1\" -k -man -Tutf8 -P-cbou \"$2\" | sed 's/$/\\r/' > MANUAL.txt"
            sh ${GROFF} ${tamrek_man}
    DEPENDS ${tamrek_man} VERBATIM)
  add_custom_target(tamrek_manual_text ALL DEPENDS MANUAL.txt)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/MANUAL.txt DESTINATION .)
elseif(TAMREK_PACKAGE STREQUAL "deb")
  # Debian compresses manual pages and changelogs, reproducibly (-n: no
  # name or time).  The changelog's newest entry must be this version.
  file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog newest LIMIT_COUNT 1)
  if(NOT newest MATCHES "^tamrek \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog does not begin with version "
                        "${PROJECT_VERSION}: ${newest}")
  endif()
  add_custom_command(
    OUTPUT tamrek.1.gz changelog.gz
    COMMAND gzip -9 -n -c ${tamrek_man} > tamrek.1.gz
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/changelog
            > changelog.gz
    DEPENDS ${tamrek_man} ${PROJECT_SOURCE_DIR}/packaging/changelog)
  add_custom_target(tamrek_deb_docs ALL DEPENDS tamrek.1.gz changelog.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tamrek.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The copyright file in Debian's machine-readable format: the MIT licence
  # is called Expat there, its text indented, blank lines as " .".
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE license_lines)
  set(license_text "")
  foreach(line IN LISTS license_lines)
    if(line STREQUAL "")
      string(APPEND license_text " .\n")
    else()
      string(APPEND license_text " ${line}\n")
    endif()
  endforeach()
  string(REPLACE "Copyright (c) " "" holder "${TAMREK_COPYRIGHT}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/copyright
       "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
       "Upstream-Name: tamrek\n"
       "\n"
       "Files: *\n"
       "Copyright: ${holder}\n"
       "License: Expat\n"
       "${license_text}")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright
                ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
          DESTINATION ${tamrek_doc})
  install(FILES packaging/README-linux.txt DESTINATION ${tamrek_doc}
          RENAME README)
elseif(TAMREK_PACKAGE STREQUAL "tgz")
  # One program for every x86_64 Linux, old glibc or none: it needs no name
  # service and no loadable module, so glibc's static library serves it.
  target_link_options(tamrek PRIVATE -static)
  install(FILES ${tamrek_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/README-linux.txt DESTINATION . RENAME README)
  install(FILES LICENSE DESTINATION .)
elseif(TAMREK_PACKAGE STREQUAL "")
  if(UNIX)
    install(FILES ${tamrek_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES packaging/README-linux.txt DESTINATION ${tamrek_doc}
            RENAME README)
    install(FILES LICENSE DESTINATION ${tamrek_doc})
    install(CODE "set(TAMREK_UNINSTALLER_STEP write)")
    install(SCRIPT packaging/uninstaller.cmake)
  endif()
else()
  message(FATAL_ERROR "TAMREK_PACKAGE must be tgz, deb, zip or empty")
endif()

if(TAMREK_PACKAGE)
  set(CPACK_PACKAGE_NAME tamrek)
  set(CPACK_PACKAGE_VENDOR "the tamrek authors")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${TAMREK_SUMMARY}")
  # One paragraph, in lines short enough for a package manager's display.
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
         "tamrek reads the four scenario disks held as images 0 to 3 of one\n"
         "D88 floppy-disk image file and copies 29 fixed runs of 512-byte\n"
         "sectors out of them into 29 data files in the current directory.\n"
         "Each damaged sector is reported and recorded in a rescue map: a\n"
         "sector read with an error keeps the drive's bytes, a missing one\n"
         "is left as zero bytes, and later dumps of the same disks fill them\n"
         "in. Files are replaced atomically; the input is never written.")
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  set(CPACK_STRIP_FILES ON)
  if(TAMREK_PACKAGE STREQUAL "tgz")
    set(CPACK_GENERATOR TGZ)
    string(TOLOWER "${CMAKE_SYSTEM_NAME}" system)
    set(CPACK_PACKAGE_FILE_NAME
        tamrek-${PROJECT_VERSION}-${system}-${CMAKE_SYSTEM_PROCESSOR})
  elseif(TAMREK_PACKAGE STREQUAL "zip")
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME tamrek-${PROJECT_VERSION}-win32)
  else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER
        "tamrek maintainers <maintainers@users.noreply.c-seed-ca0de3e2.example>")
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
  include(CPack)
endif()
