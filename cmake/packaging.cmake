# Installation layout and the Debian package of the station.
#
#   cmake --install BUILD --prefix /usr
#   (cd BUILD && cpack -G DEB)
#
# velmar and velmar-cli are installed by apps/; the printer tool is optional.

if(TARGET velmar-impresora)
  install(TARGETS velmar-impresora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/velmar.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The icon is not square, so it goes to pixmaps rather than a hicolor size folder.
install(FILES ${PROJECT_SOURCE_DIR}/resources/velmar-icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps RENAME velmar.png)
install(FILES ${PROJECT_SOURCE_DIR}/db/schema.sql ${PROJECT_SOURCE_DIR}/db/demo.sql
              ${PROJECT_SOURCE_DIR}/db/dia_unico.sql
        DESTINATION ${CMAKE_INSTALL_DATADIR}/velmar)
install(FILES ${PROJECT_SOURCE_DIR}/docs/instalacion.md ${PROJECT_SOURCE_DIR}/docs/cluster.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME velmar)
set(CPACK_PACKAGE_VENDOR "Velmar")
set(CPACK_PACKAGE_CONTACT "Velmar <soporte@velmar.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Estación de post-cosecha y empaque de una finca de rosas")
set(CPACK_PACKAGE_DESCRIPTION
    "Reloj de asistencia del personal y operaciones de la sala de empaque: reportes de\n\
packing y de caja, etiquetas EPL2 de detalle de caja, cambios de packing y bajas a\n\
nacional. Trabaja sobre la base MariaDB/MySQL de la finca a través del origen de\n\
datos ODBC mytnflower.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The kept scans' journal folder, /var/lib/velmar, writable by the group velmar.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# What is loaded at run time rather than linked: the Qt SQL ODBC plugin,
# unixODBC's tools, the MariaDB ODBC driver behind the data source and the
# metric-compatible fonts the window's layout is measured with, and the
# system's default sans font for the menus and dialogs (without it fontconfig
# may fall back to a monospaced one). The
# linked libraries come from dpkg-shlibdeps when it is there (with the minimum
# versions of this build), else from the fixed list.
set(velmar_deb_runtime "libqt6sql6-odbc (>= 6.4), libqt6sql6-sqlite (>= 6.4), unixodbc, odbc-mariadb, fonts-liberation, fontconfig, fonts-dejavu-core")
find_program(VELMAR_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VELMAR_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${velmar_deb_runtime}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), \
libqt6sql6 (>= 6.4), libqt6network6 (>= 6.4), libcups2, libodbc2, libxlsxwriter4, ${velmar_deb_runtime}")
endif()

include(CPack)
