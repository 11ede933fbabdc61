# Installation layout and the Debian package (`make install`, `make package`).
#
# The program looks for readme.txt in its own folder, so it lives in a private
# folder with the readme beside it; bin/ holds relative links to it.
include(GNUInstallDirs)

set(ORVEN_PKG_NAME orven5927)
set(ORVEN_PRIVATE_DIR lib/${ORVEN_PKG_NAME})

# The office's UNO libraries are found through the rpath the spreadsheet
# library links in; install keeps it and drops only the build tree's paths.
install(TARGETS orven5927 orven5927-sim orven5927-log RUNTIME DESTINATION ${ORVEN_PRIVATE_DIR})
# The logger loads no office library; the run path it inherits from the
# sheet library's link options would only be a stray search path.
install(CODE "file(RPATH_REMOVE FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ORVEN_PRIVATE_DIR}/orven5927-log\")")
install(FILES ${CMAKE_SOURCE_DIR}/app/readme.txt DESTINATION ${ORVEN_PRIVATE_DIR})

# The links are made once in the build tree; install copies a link as a link.
set(link_dir ${CMAKE_BINARY_DIR}/packaging/bin)
file(MAKE_DIRECTORY ${link_dir})
foreach(prog orven5927 orven5927-sim orven5927-log)
  file(CREATE_LINK ../${ORVEN_PRIVATE_DIR}/${prog} ${link_dir}/${prog} SYMBOLIC)
  install(FILES ${link_dir}/${prog} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/orven5927.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/icons/${size}/orven5927.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/orven5927.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Debian's machine-readable copyright file; no licence has been chosen yet.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The changelog (Debian's format; the package is native, so changelog.gz) and
# the manual pages, compressed as Debian wants them: maximum, no name or time.
set(gz_dir ${CMAKE_BINARY_DIR}/packaging/gz)
file(MAKE_DIRECTORY ${gz_dir})
set(gz_files)
foreach(pair "changelog:changelog.gz" "orven5927.1:orven5927.1.gz" "orven5927-sim.1:orven5927-sim.1.gz"
             "orven5927-log.1:orven5927-log.1.gz")
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 src)
  list(GET pair 1 out)
  add_custom_command(OUTPUT ${gz_dir}/${out}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${CMAKE_SOURCE_DIR}/packaging/${src} ${gz_dir}/${out}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${src} VERBATIM)
  list(APPEND gz_files ${gz_dir}/${out})
endforeach()
add_custom_target(orven_package_docs ALL DEPENDS ${gz_files})
install(FILES ${gz_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${gz_dir}/orven5927.1.gz ${gz_dir}/orven5927-sim.1.gz ${gz_dir}/orven5927-log.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# An example, not an installed unit: the adapter's name must be filled in.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/orven5927-log.service DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/orven5927.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${ORVEN_PKG_NAME})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ORVEN_PKG_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ORVEN")
set(CPACK_PACKAGE_CONTACT "ORVEN 5927 application team <orven5927@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Reads and logs the ORVEN 5927 battery tester over RS-232")
set(CPACK_PACKAGE_DESCRIPTION
  "Talks to the ORVEN 5927 battery tester over a serial line, shows its\n"
  "resistance and voltage readings in large type and logs them at a fixed\n"
  "interval, on each return key or on each external trigger, to a CSV file\n"
  "or a live LibreOffice Calc sheet. Includes orven5927-log, which logs\n"
  "without a desktop, and orven5927-sim, a simulated instrument on a\n"
  "pseudo-terminal.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${ORVEN_PKG_NAME})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library packages come from the binaries themselves (dpkg-shlibdeps); what
# the loader cannot see is named here: the fonts the windows ask for. The
# office, the desktop opener and Wayland support are worth having, never required.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-calc, xdg-utils, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
