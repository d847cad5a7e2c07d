# Installation layout of the desktop program and its Debian package (cpack -G DEB).
#
# The launcher velmar-stat-desktop finds everything relative to its own directory, so these
# destinations are fixed rather than taken from GNUInstallDirs (whose library directory moves with
# the architecture):
#   bin/velmar-stat, bin/velmar-stat-desktop        the program (installed by src/) and its launcher
#   lib/velmar-stat/velmar-mkconfig                 writes a first "config"
#   share/velmar-stat/lang/                         language files and the readmes they name
#   share/applications/velmar-stat.desktop          menu entry
#   share/icons/hicolor/scalable/apps/velmar-stat.svg
#   share/man/man1/velmar-stat.1.gz, velmar-stat-desktop.1.gz
set(VELMAR_BIN_DIR bin)
set(VELMAR_TOOL_DIR lib/velmar-stat)
set(VELMAR_LANG_DIR share/velmar-stat/lang)
set(VELMAR_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# Packages are built by users with any umask; the installed tree must not inherit a group-writable one.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(TARGET velmar-mkconfig)
  install(TARGETS velmar-mkconfig RUNTIME DESTINATION ${VELMAR_TOOL_DIR})
endif()

# The language files and their readmes; CONFIGURE_DEPENDS picks up a language added later.
file(GLOB VELMAR_LANG_FILES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/lang/*.lng
  ${PROJECT_SOURCE_DIR}/lang/*.txt)
if(VELMAR_LANG_FILES)
  install(FILES ${VELMAR_LANG_FILES} DESTINATION ${VELMAR_LANG_DIR})
else()
  message(STATUS "No language files in ${PROJECT_SOURCE_DIR}/lang yet: nothing to install from there")
endif()

install(PROGRAMS ${VELMAR_PACKAGING_DIR}/velmar-stat-desktop DESTINATION ${VELMAR_BIN_DIR})
install(FILES ${VELMAR_PACKAGING_DIR}/velmar-stat.desktop DESTINATION share/applications)
install(FILES ${VELMAR_PACKAGING_DIR}/velmar-stat.svg DESTINATION share/icons/hicolor/scalable/apps)

# The manual page carries the project's version in its title line, and is gzipped without a time
# stamp (-n) so that two builds of one version give the same package.
file(READ ${VELMAR_PACKAGING_DIR}/velmar-stat.1 velmar_man_text)
string(REGEX REPLACE "\"velmar-stat [0-9.]+\"" "\"velmar-stat ${PROJECT_VERSION}\"" velmar_man_text
  "${velmar_man_text}")
set(velmar_man_dir ${PROJECT_BINARY_DIR}/packaging/man)
file(CONFIGURE OUTPUT ${velmar_man_dir}/velmar-stat.1 CONTENT "${velmar_man_text}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELMAR_PACKAGING_DIR}/velmar-stat.1)
file(CONFIGURE OUTPUT ${velmar_man_dir}/velmar-stat-desktop.1 CONTENT ".so man1/velmar-stat.1\n" @ONLY)

find_program(VELMAR_GZIP gzip)
if(VELMAR_GZIP)
  set(velmar_man_pages)
  foreach(page velmar-stat.1 velmar-stat-desktop.1)
    add_custom_command(OUTPUT ${velmar_man_dir}/${page}.gz
      COMMAND ${VELMAR_GZIP} -9 -n -f -k ${velmar_man_dir}/${page}
      DEPENDS ${velmar_man_dir}/${page}
      COMMENT "Compressing the manual page ${page}"
      VERBATIM)
    list(APPEND velmar_man_pages ${velmar_man_dir}/${page}.gz)
  endforeach()
  add_custom_target(velmar-man ALL DEPENDS ${velmar_man_pages})
else()
  set(velmar_man_pages ${velmar_man_dir}/velmar-stat.1 ${velmar_man_dir}/velmar-stat-desktop.1)
endif()
install(FILES ${velmar_man_pages} DESTINATION share/man/man1)

# The Debian changelog that every package carries, made from the version; its date honours
# SOURCE_DATE_EPOCH for reproducible packages (otherwise it is the day of configuring).
set(VELMAR_DEB_RELEASE 1)
set(VELMAR_DOC_DIR share/doc/velmar-stat)
string(TIMESTAMP velmar_changelog_date "%a, %d %b %Y 00:00:00 +0000" UTC)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.Debian CONTENT
"velmar-stat (${PROJECT_VERSION}-${VELMAR_DEB_RELEASE}) unstable; urgency=medium

  * Velmar statistic ${PROJECT_VERSION}.

 -- Velmar statistic developers <dev@velmar-stat.invalid>  ${velmar_changelog_date}
")
if(VELMAR_GZIP)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
    COMMAND ${VELMAR_GZIP} -9 -n -f -k ${PROJECT_BINARY_DIR}/packaging/changelog.Debian
    DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian
    COMMENT "Compressing the Debian changelog"
    VERBATIM)
  add_custom_target(velmar-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz DESTINATION ${VELMAR_DOC_DIR})
endif()
# The licence text, once the project has chosen one (Debian's machine-readable copyright format).
if(EXISTS ${VELMAR_PACKAGING_DIR}/copyright)
  install(FILES ${VELMAR_PACKAGING_DIR}/copyright DESTINATION ${VELMAR_DOC_DIR})
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmar-stat)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmar statistic developers")
set(CPACK_PACKAGE_CONTACT "Velmar statistic developers <dev@velmar-stat.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "call statistics and costs from a FidoNet mailer log")
set(CPACK_PACKAGE_DESCRIPTION
  "Velmar statistic reads the plain-text session log of the Velmar FidoNet modem
mailer and shows every counted session with its date, times, remote address,
charged minutes, received bytes and cost at a tariff per minute, and a summary
by remote address with a total row. Both tables can be limited to a range of
days and exported through a template, from the window or unattended from cron.
Texts come from exchangeable language files (English and Russian included).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VELMAR_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is worked out from the linked libraries (needs dpkg-shlibdeps from dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The font the window was drawn for (a free one with its metrics) and Qt's own texts in the user's language;
# CPack adds the libraries' dependencies to these.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine, qt6-translations-l10n")
# On a Wayland desktop Qt runs through XWayland unless its Wayland plugin is there.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
