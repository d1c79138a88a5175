# Installation and `make package`.
#
# The program reads lss.dll and lawconfig.ini beside its executable, so the three live in one
# directory; a link on the PATH, lssdb, the menu entry, the icon in the icon theme, the AppStream
# metadata, the manual pages and the documentation beside them.
#
# `cmake --install` puts the sample directory in that directory as an ordinary file. The Debian
# package instead ships it as /usr/share/lss/lss.dll and makes lss.dll in the program's directory
# a link to /var/lib/lss/lss.dll, a file its maintainer scripts create from the sample when it is
# missing and otherwise leave to the administrator (packaging/deb/).
include(GNUInstallDirs)

# Bumped with each release, together with packaging/changelog.in.
set(LSS_RELEASE_DATE 2026-12-07)
set(LSS_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 07:43:07 +0000")
set(LSS_APPSTREAM_ID "example.quillhall.lss" CACHE STRING "AppStream component id (reverse domain name)")
set(LSS_MAINTAINER "${LSS_COMPANY} <lss@quillhall.example>")

# Installs without a component of their own go into the package.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME lss)
set(LSS_INSTALL_DIR lib/lss) # the program's own directory, the same on every architecture
set(LSS_DATA_DIR /var/lib/lss) # where the package keeps the administrator's directory file
set(LSS_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/lss)
set(pkgdir ${CMAKE_BINARY_DIR}/packaging)

# Documents filled in with the deployment settings; the manual pages and the changelog gzipped
# the way Debian wants them (best compression, no name or time stamp, so builds are repeatable).
configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${pkgdir}/copyright @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/metainfo.xml.in ${pkgdir}/${LSS_APPSTREAM_ID}.metainfo.xml @ONLY)
set(gzipped)
foreach(doc man/lss.1 man/lssdb.1 changelog)
  get_filename_component(name ${doc} NAME)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/${doc}.in ${pkgdir}/${name} @ONLY)
  add_custom_command(
    OUTPUT ${pkgdir}/${name}.gz
    COMMAND gzip -n -9 -c ${pkgdir}/${name} > ${pkgdir}/${name}.gz
    DEPENDS ${pkgdir}/${name})
  list(APPEND gzipped ${pkgdir}/${name}.gz)
endforeach()
add_custom_target(packaging_docs ALL DEPENDS ${gzipped})

install(TARGETS lss RUNTIME DESTINATION ${LSS_INSTALL_DIR})
install(TARGETS lssdb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/lawconfig.ini DESTINATION ${LSS_INSTALL_DIR})
file(RELATIVE_PATH LSS_LINK_TARGET /${CMAKE_INSTALL_BINDIR} /${LSS_INSTALL_DIR}/lss)
install(CODE "
  set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bindir}\")
  file(REMOVE \"\${bindir}/lss\")
  file(CREATE_LINK ${LSS_LINK_TARGET} \"\${bindir}/lss\" SYMBOLIC)
  message(STATUS \"Installing: \${bindir}/lss -> ${LSS_LINK_TARGET}\")")
install(FILES resources/lss.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48)
  install(FILES resources/icons/lss${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME lss.png)
endforeach()
install(FILES resources/icons/lss.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${pkgdir}/${LSS_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${pkgdir}/lss.1.gz ${pkgdir}/lssdb.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${pkgdir}/copyright ${pkgdir}/changelog.gz DESTINATION ${LSS_DOC_DIR})

# The directory file: beside the program for `cmake --install` ...
install(FILES ${CMAKE_BINARY_DIR}/lss.dll DESTINATION ${LSS_INSTALL_DIR} COMPONENT directory)
# ... and in the package the sample plus a link to the administrator's file.
install(FILES ${CMAKE_BINARY_DIR}/lss.dll DESTINATION ${CMAKE_INSTALL_DATADIR}/lss
        COMPONENT deb_directory EXCLUDE_FROM_ALL)
install(CODE "
  set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${LSS_INSTALL_DIR}\")
  file(MAKE_DIRECTORY \"\${dir}\")
  file(REMOVE \"\${dir}/lss.dll\")
  file(CREATE_LINK ${LSS_DATA_DIR}/lss.dll \"\${dir}/lss.dll\" SYMBOLIC)"
        COMPONENT deb_directory EXCLUDE_FROM_ALL)

# `make package`: one Debian package of the components above. Library dependencies come from
# dpkg-shlibdeps; the fonts the layouts need, the SVG plugins and the platform plugins (loaded,
# not linked, so dpkg-shlibdeps cannot see them) are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lss)
set(CPACK_PACKAGE_VENDOR "${LSS_COMPANY}")
set(CPACK_PACKAGE_CONTACT "${LSS_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "directory of lawyers and law firms of China, Hong Kong, Macao and Taiwan")
set(CPACK_PACKAGE_DESCRIPTION [=[
青穹阁信息查询系统 is a desktop directory of the lawyers and law firms of
mainland China, Hong Kong, Macao and Taiwan. Its launcher opens a query
window for one region and kind of entry; the user types search criteria
such as a name, a city or a firm and browses the matching entries in a grid.

The directory is one local Jet 4.0 database file, kept in /var/lib/lss where
an administrator replaces it with the published directory; the package
installs a fictional sample there. The command lssdb builds such a file from
CSV files, exports it back to CSV and runs SQL statements on it.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# Unspecified: installs declared before this file, without a component.
set(CPACK_COMPONENTS_ALL lss Unspecified deb_directory)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME lss)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, fonts-wqy-microhei, libqt6svg6, qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/deb/preinst ${CMAKE_SOURCE_DIR}/packaging/deb/postinst
  ${CMAKE_SOURCE_DIR}/packaging/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
