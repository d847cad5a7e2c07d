# Installation layout of the desktop program and its Debian package (cpack -G DEB).
#
# The launcher velmar-stat-desktop finds everything relative to its own directory, so these
# destinations are fixed rather than taken from GNUInstallDirs (whose library directory moves with
# the architecture):
#   bin/velmar-stat, bin/velmar-stat-desktop        the program (installed by src/) and its launcher
#   libexec/velmar-stat/velmar-stat-window          the window, which velmar-stat starts with a screen
#   libexec/velmar-stat/velmar-mkconfig             writes a first "config"
#   share/velmar-stat/lang/                         language files and the readmes they name
#   share/applications/velmar-stat.desktop          menu entry
#   share/metainfo/<id>.metainfo.xml                the AppStream description of the program
#   share/icons/hicolor/scalable/apps/velmar-stat.svg
#   share/man/man1/velmar-stat.1.gz, velmar-stat-desktop.1.gz (a link to the first)
#   share/doc/velmar-stat/copyright, changelog.Debian.gz
#   share/lintian/overrides/velmar-stat
set(VELMAR_BIN_DIR bin)
set(VELMAR_TOOL_DIR libexec/velmar-stat)
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

# The day of this release for the manual page, the metainfo and the Debian changelog. It honours
# SOURCE_DATE_EPOCH for reproducible packages; otherwise it is the day of configuring.
string(TIMESTAMP VELMAR_MAN_DATE "%B %Y" UTC)
string(TIMESTAMP VELMAR_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP velmar_changelog_date "%a, %d %b %Y 00:00:00 +0000" UTC)

# The manual page gets the project's version and the release month in its title line, and is gzipped
# without a time stamp (-n) so that two builds of one version give the same package. The launcher's page
# is the same page, so it is a link to it.
set(velmar_man_dir ${PROJECT_BINARY_DIR}/packaging/man)
configure_file(${VELMAR_PACKAGING_DIR}/velmar-stat.1 ${velmar_man_dir}/velmar-stat.1 @ONLY)
find_program(VELMAR_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${velmar_man_dir}/velmar-stat.1.gz
  COMMAND ${VELMAR_GZIP} -9 -n -f -k ${velmar_man_dir}/velmar-stat.1
  DEPENDS ${velmar_man_dir}/velmar-stat.1
  COMMENT "Compressing the manual page velmar-stat.1"
  VERBATIM)
add_custom_target(velmar-man ALL DEPENDS ${velmar_man_dir}/velmar-stat.1.gz)
file(CREATE_LINK velmar-stat.1.gz ${velmar_man_dir}/velmar-stat-desktop.1.gz SYMBOLIC)
install(FILES ${velmar_man_dir}/velmar-stat.1.gz ${velmar_man_dir}/velmar-stat-desktop.1.gz
  DESTINATION share/man/man1)

# The AppStream description for software centres, named after its id. The screenshots are those of the
# README, found where the repository is published.
set(VELMAR_APPSTREAM_ID org.velmar_stat.velmar_stat)
set(VELMAR_HOMEPAGE "https://velmar-stat.invalid/" CACHE STRING "The project's home page")
set(VELMAR_SCREENSHOT_URL "${VELMAR_HOMEPAGE}docs/screenshots" CACHE STRING
  "Where the pictures of docs/screenshots are published")
configure_file(${VELMAR_PACKAGING_DIR}/velmar-stat.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/packaging/${VELMAR_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${VELMAR_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)

# The Debian changelog that every package carries, made from the version.
set(VELMAR_DEB_RELEASE 1)
set(VELMAR_DOC_DIR share/doc/velmar-stat)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.Debian CONTENT
"velmar-stat (${PROJECT_VERSION}-${VELMAR_DEB_RELEASE}) unstable; urgency=medium

  * Velmar statistic ${PROJECT_VERSION}.

 -- Velmar statistic developers <dev@velmar-stat.invalid>  ${velmar_changelog_date}
")
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
  COMMAND ${VELMAR_GZIP} -9 -n -f -k ${PROJECT_BINARY_DIR}/packaging/changelog.Debian
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(velmar-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz DESTINATION ${VELMAR_DOC_DIR})
# The licence, in Debian's machine-readable copyright format, and the lintian tags that do not apply to
# this package, each with its reason.
install(FILES ${VELMAR_PACKAGING_DIR}/copyright DESTINATION ${VELMAR_DOC_DIR})
install(FILES ${VELMAR_PACKAGING_DIR}/lintian-overrides DESTINATION share/lintian/overrides RENAME velmar-stat)

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
