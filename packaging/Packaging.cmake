# Installing and packaging. `cmake --install` puts the three programs in bin/, their manual pages, the
# documentation in share/doc/tarvel, the systemd unit, the desktop entry with its icon, and the
# settings to start from in share/tarvel. `cpack -G DEB` (make package) makes tarvel_<version>_amd64.deb
# of the same files, with maintainer scripts that create the user tarvel and the program folder.

include(GNUInstallDirs)

# The installed server's program folder: Tarvel.ini, Register.ini and Log/TarvelDb/Tarvel.Db.
set(TARVEL_PROGRAM_FOLDER /var/lib/tarvel CACHE PATH "Program folder of the installed service")
# An installed program (in /usr/bin, or this build's install folder) uses that folder when none is given.
# The embedded Firebird engine that a data file given as a plain path needs: a recommendation of the
# package, which apt installs with it, and named by the message for a missing engine.
set(TARVEL_ENGINE_PACKAGE firebird3.0-server-core CACHE STRING "The package of the embedded Firebird engine")
target_compile_definitions(tarvel_core PRIVATE TARVEL_INSTALLED_BIN_DIR="${CMAKE_INSTALL_FULL_BINDIR}"
  TARVEL_INSTALLED_PROGRAM_FOLDER="${TARVEL_PROGRAM_FOLDER}" TARVEL_ENGINE_PACKAGE="${TARVEL_ENGINE_PACKAGE}")
# The package is a system program's: everything under /usr, whatever prefix `cmake --install` uses.
set(TARVEL_PACKAGE_PREFIX /usr)
set(TARVEL_DATA_DIR ${TARVEL_PACKAGE_PREFIX}/${CMAKE_INSTALL_DATADIR}/tarvel)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tarvel)
set(packaging ${CMAKE_CURRENT_LIST_DIR})
set(staged ${CMAKE_BINARY_DIR}/packaging)

install(TARGETS tarvel tarvel-term tarvel-load RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages, compressed as Debian keeps them.
set(man_pages)
foreach(page tarvel.1 tarvel-term.1 tarvel-load.1)
  add_custom_command(OUTPUT ${staged}/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${staged}
    COMMAND gzip -9n -c ${packaging}/man/${page} > ${staged}/${page}.gz
    DEPENDS ${packaging}/man/${page} VERBATIM)
  list(APPEND man_pages ${staged}/${page}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The unit names the programs where this install puts them: made at install time, from the prefix of
# that install (/usr in the package).
# Two units from one text: tarvel.service on the program folder, and the template tarvel@.service, whose
# instance tarvel@store12 serves a store of its own in /var/lib/tarvel/store12 (its own Tarvel.ini, ports
# and registry), so that one server can serve several stores.
install(CODE "
  set(TARVEL_BIN_DIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(TARVEL_DOC_DIR \"\${CMAKE_INSTALL_PREFIX}/${doc_dir}\")
  set(TARVEL_UNIT_FOLDER \"${TARVEL_PROGRAM_FOLDER}\")
  set(TARVEL_UNIT_EXAMPLE tarvel)
  set(TARVEL_UNIT_STORE \"store's \")
  set(TARVEL_UNIT_IDENTIFIER tarvel)
  configure_file(\"${packaging}/tarvel.service.in\" \"${staged}/installed/tarvel.service\" @ONLY)
  set(TARVEL_UNIT_FOLDER \"${TARVEL_PROGRAM_FOLDER}/%i\")
  set(TARVEL_UNIT_EXAMPLE tarvel@store12)
  set(TARVEL_UNIT_STORE \"%i store's \")
  set(TARVEL_UNIT_IDENTIFIER tarvel@%i)
  configure_file(\"${packaging}/tarvel.service.in\" \"${staged}/installed/tarvel@.service\" @ONLY)")
install(FILES ${staged}/installed/tarvel.service ${staged}/installed/tarvel@.service DESTINATION lib/systemd/system)
configure_file(${packaging}/tarvel.desktop.in ${staged}/tarvel.desktop @ONLY)
install(FILES ${staged}/tarvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/tarvel.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/96x96/apps)
install(FILES ${packaging}/Tarvel.ini ${packaging}/Register.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvel)
# Prometheus' alert rules for /metrics, to copy where Prometheus reads its rules.
install(FILES ${packaging}/tarvel-alerts.yml DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvel)

# The README with the pictures it shows, where its links find them, and the changelog.
install(FILES README.md CHANGELOG.md DESTINATION ${doc_dir})
install(FILES docs/architecture.md docs/performance.md docs/performance.png docs/reliability.md
  DESTINATION ${doc_dir}/docs)
install(DIRECTORY docs/screenshots DESTINATION ${doc_dir}/docs FILES_MATCHING PATTERN "*.png")

foreach(script postinst prerm postrm)
  configure_file(${packaging}/debian/${script}.in ${staged}/debian/${script} @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tarvel")
# An address of the reserved domain .invalid until a store sets its own: Debian's tools refuse a host
# that is no domain at all, as "localhost" (the first default, replaced in builds that still have it).
set(CPACK_PACKAGE_CONTACT "Tarvel developers <tarvel@tarvel.invalid>" CACHE STRING "The package's Maintainer field")
if(CPACK_PACKAGE_CONTACT STREQUAL "Tarvel developers <tarvel@localhost>")
  set(CPACK_PACKAGE_CONTACT "Tarvel developers <tarvel@tarvel.invalid>" CACHE STRING "The package's Maintainer field" FORCE)
endif()
# Debian's policy files: the copyright in its machine-readable form, the changelog compressed.
configure_file(${packaging}/debian/changelog.in ${staged}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${staged}/changelog.Debian.gz
  COMMAND gzip -9n -c ${staged}/changelog.Debian > ${staged}/changelog.Debian.gz
  DEPENDS ${staged}/changelog.Debian VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${staged}/changelog.Debian.gz)
install(FILES ${packaging}/debian/copyright ${staged}/changelog.Debian.gz DESTINATION ${doc_dir})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "price-check server for a store's barcode terminals")
set(CPACK_PACKAGE_DESCRIPTION "Barcode price-checker terminals on the store network keep TCP connections
open to the server, a shopper scans an item, and the server answers with a
ready-made screen: description, code, shelf and the price in force, read from
the store's point-of-sale database on a Firebird server. Runs as the systemd
service tarvel, or with its operator window. Includes tarvel-term, a terminal
on the command line, and tarvel-load, a load generator.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${TARVEL_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The Qt and Firebird client libraries from the programs themselves (dpkg-shlibdeps); the registry's
# SQLite driver is a plugin that no program links, so it is named, as is adduser for the postinst.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, adduser")
# The operator window needs a display's platform plugin, an embedded data file the engine; the service
# over a Firebird server needs neither.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${TARVEL_ENGINE_PACKAGE}, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "firebird3.0-utils, sqlite3")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${staged}/debian/postinst ${staged}/debian/prerm ${staged}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
