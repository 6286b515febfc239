# What a Debian machine gets from the package (./scripts/package runs CPack on the release
# build): both programs in /usr/bin, the menu entry and its icon, a manual page for each
# program, the README and the office-server guide with the copyright file and changelog Debian
# expects beside them.
include(GNUInstallDirs)

# `cpack` installs what is built; it must not build everything first (the release preset
# also makes the benchmarks, which the package does not hold).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(package_dir ${PROJECT_SOURCE_DIR}/packaging)
set(package_out ${PROJECT_BINARY_DIR}/packaging)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})

# Manual pages and the changelog travel compressed, as Debian wants them (gzip -9n: no name
# or date inside, so the same text gives the same bytes).
set(compressed)
function(cortevane_gzip source target)
  add_custom_command(OUTPUT ${target}
    COMMAND gzip -9nc ${source} > ${target}
    DEPENDS ${source} VERBATIM)
  set(compressed ${compressed} ${target} PARENT_SCOPE)
endfunction()

# The English pages, and the French ones beside them (man picks them in a French locale).
foreach(language en fr)
  set(from ${package_dir})
  set(to ${package_out})
  set(mandir ${CMAKE_INSTALL_MANDIR}/man1)
  if(NOT language STREQUAL "en")
    set(from ${package_dir}/${language})
    set(to ${package_out}/${language})
    set(mandir ${CMAKE_INSTALL_MANDIR}/${language}/man1)
  endif()
  foreach(page cortevane.1 cortevane-admin.1)
    # The pages name the version of the programs they describe.
    configure_file(${from}/${page} ${to}/${page} @ONLY)
    cortevane_gzip(${to}/${page} ${to}/${page}.gz)
    install(FILES ${to}/${page}.gz DESTINATION ${mandir})
  endforeach()
endforeach()
cortevane_gzip(${package_dir}/changelog ${package_out}/changelog.gz)
add_custom_target(package_files ALL DEPENDS ${compressed})

install(TARGETS cortevane cortevane-admin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Every symbol bound at start-up, so the whole offset table can be read-only (Debian's
# hardening "bindnow"; costs nothing at link time).
foreach(program cortevane cortevane-admin)
  target_link_options(${program} PRIVATE -Wl,-z,relro,-z,now)
endforeach()
# Stripped (CPACK_STRIP_FILES) as Debian's own tools strip: without the compilers' notes either.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program cortevane cortevane-admin)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
    endforeach()
  endif()")
install(FILES ${package_dir}/cortevane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${package_dir}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME cortevane)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/cortevane-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME cortevane.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/office-server.md
  ${package_dir}/copyright ${package_out}/changelog.gz DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Cortevane maintainers <cortevane@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move assisted persons' files between laptop and office")
# Lines of at most 72 characters: Debian shows the description on 80-column terminals.
set(CPACK_PACKAGE_DESCRIPTION
  "Cortevane is the desktop program field staff use to take assisted
persons' files from the office base to their laptop's base (import) and
to bring the laptop's work back (export). The office base is kept on a
PostgreSQL server or in a folder; the laptop's base in a folder of the
laptop. The program's windows are in French.

The package also holds cortevane-admin, the command-line tool that
creates accounts, users, files and dictionaries, reads and writes
records, and builds a demonstration.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the binaries themselves (dpkg-shlibdeps); what follows is what they
# load at run time without linking it: Qt's French translations and its window-system plugins.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, qt6-qpa-plugins")
include(CPack)
