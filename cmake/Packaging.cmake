# What `cmake --install` puts under the prefix besides the programs and their manual pages,
# and the Debian package made from it: `cpack -G DEB` in the build folder gives
# corvina_<version>_amd64.deb. Everything with an install() rule goes in, so the desktop host,
# its .desktop file, its icon and Corvina.CHM join as soon as their folders install them.
include(GNUInstallDirs)

# One completion file serves corvina, hhc and hh; bash-completion loads it by program name.
foreach(program corvina hhc hh)
  install(FILES ${CMAKE_SOURCE_DIR}/completion/corvina.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${program})
endforeach()
set(doc_folder ${CMAKE_INSTALL_DATADIR}/doc/corvina)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/site DESTINATION ${doc_folder}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${doc_folder})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvina)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvina developers <corvina@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compile web site folders into HTML Help (.chm) files")
set(CPACK_PACKAGE_DESCRIPTION "Corvina turns a folder of pages into one compiled HTML Help \
file and extracts a .chm back into its files. It brings its own hhc and hh.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries come from the programs themselves (dpkg-shlibdeps). Qt loads its SVG image
# plugin at run time, for the pictures of pages viewed in hh. chmcmd (fp-utils) is only the
# cross-check engine, `hhc --engine chmcmd`.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fp-utils, xchm | kchmviewer")
include(CPack)
