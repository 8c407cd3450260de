# The Debian package, built by CPack from the build folder:
#
#   cpack --config <build>/CPackConfig.cmake -B <build>
#       -> <build>/quillbase-backup_<version>_<arch>.deb (without -B: in the current folder)
#
#   /opt/quillbase-backup/                the installation folder: QuillbaseBackup,
#                                         the help (ayuda/), the icon and
#                                         QuillbaseBackup.conf (local databases
#                                         through the machine's Firebird server), with
#                                         Servidores.gdb and Backup.fdb as links to
#   /var/lib/quillbase-backup/            the databases, made by the postinst from
#   /usr/share/quillbase-backup/          their empty copies when missing, owned
#                                         by the server's user firebird, mode 0660
#   /usr/share/applications/quillbase-backup.desktop
#   /usr/share/icons/hicolor/scalable/apps/quillbase-backup.svg
#
# The package takes the components "program" and "debian"; the plain
# installation's own databases (component "databases") stay out of it, so
# that an upgrade never replaces the server list or the backup log.
# Included by the top-level CMakeLists.txt after its installation rules.

set(QB_PACKAGE_PREFIX /opt/quillbase-backup)
set(QB_PACKAGE_DATA_DIR /var/lib/quillbase-backup)
set(QB_PACKAGE_TEMPLATE_DIR /usr/share/quillbase-backup)
set(QB_PACKAGE_MAINTAINER "Orvalenta Software" CACHE STRING "Maintainer field of the Debian package")
set(package_work ${CMAKE_BINARY_DIR}/packaging)

configure_file(${CMAKE_CURRENT_LIST_DIR}/quillbase-backup.desktop.in
  ${package_work}/quillbase-backup.desktop @ONLY)
foreach(script postinst postrm)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${script}.in ${package_work}/control/${script} @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE)
endforeach()

# The links beside the executable, made here and installed as links.
file(MAKE_DIRECTORY ${package_work}/links)
foreach(database Servidores.gdb Backup.fdb)
  file(CREATE_LINK ${QB_PACKAGE_DATA_DIR}/${database} ${package_work}/links/${database} SYMBOLIC)
  install(FILES ${package_work}/links/${database} DESTINATION . COMPONENT debian EXCLUDE_FROM_ALL)
endforeach()
# Local databases go to this computer's Firebird server, which owns them.
set(QB_LOCAL_ENGINE server)
configure_file(${CMAKE_CURRENT_LIST_DIR}/QuillbaseBackup.conf.in ${package_work}/QuillbaseBackup.conf @ONLY)
install(FILES ${package_work}/QuillbaseBackup.conf DESTINATION . COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${QB_INSTALL_DIR}/Servidores.gdb ${QB_INSTALL_DIR}/Backup.fdb
  DESTINATION ${QB_PACKAGE_TEMPLATE_DIR} COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${package_work}/quillbase-backup.desktop
  DESTINATION /usr/share/applications COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/resources/app.svg
  DESTINATION /usr/share/icons/hicolor/scalable/apps RENAME quillbase-backup.svg
  COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbase-backup)
set(CPACK_PACKAGE_VENDOR "Orvalenta Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Backups of the Quillbase company databases")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Quillbase Backup backs up the Firebird databases of Quillbase installations\n"
  "through the Firebird Services API, verifies every backup by restoring it,\n"
  "keeps a log of every backup, runs on a weekly schedule and restores backups.\n"
  "Spanish interface.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${QB_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program debian)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QB_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the libraries the executable links (Qt 6 Core, Gui,
# Widgets and Svg, fbclient, ...); the machine's Firebird server, which
# serves the package's databases, is named by hand; so are Qt's Spanish
# translations, loaded at start, and xdg-utils, which opens the help pages
# in the desktop's browser.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "firebird3.0-server, qt6-translations-l10n, xdg-utils")
# A Wayland session runs the program through XWayland when it has it
# (platform/Desktop.h); one without XWayland needs Qt's own Wayland platform.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${package_work}/control/postinst ${package_work}/control/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
