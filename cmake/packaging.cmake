# What `cmake --install` puts where, and how CPack packs it: on Windows the
# release zip (the program with its text files beside it), on Linux the
# usual Unix tree, packed as a Debian package.
include(GNUInstallDirs)

# Debian packages name a maintainer to write to; wincue.example stands in
# until the project has an address of its own.
set(CPACK_PACKAGE_CONTACT "wincue's authors <authors@wincue.example>")
set(CPACK_PACKAGE_VENDOR "wincue's authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "run a script of steps against the windows of other programs")
# Directories 0755 whatever the builder's umask, as packages need them.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
  WORLD_EXECUTE)

# copy_with_crlf(SOURCE TARGET): TARGET is SOURCE with CR LF line ends,
# made again whenever SOURCE changes; Notepad before Windows 10 shows a
# file with bare LF ends as one long line.
function(copy_with_crlf source target)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${target} "${text}")
endfunction()

# The pages the README links to, which travel beside it in both packages.
file(GLOB WINCUE_DOCS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)

# Every file is in one component, which the zip's sorted order needs.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME wincue)

if(WIN32)
  set(crlf ${PROJECT_BINARY_DIR}/crlf)
  # The zip's README is written for Windows users; README.md, for the
  # project's page and Linux, travels in the Debian package.
  copy_with_crlf(${PROJECT_SOURCE_DIR}/resources/README.txt ${crlf}/README.txt)
  copy_with_crlf(${PROJECT_SOURCE_DIR}/LICENSE ${crlf}/LICENSE.txt)
  copy_with_crlf(${PROJECT_SOURCE_DIR}/examples/config.ini ${crlf}/config.ini)
  # What changed, for Windows users too; the Debian package has it as its
  # changelog.
  copy_with_crlf(${PROJECT_SOURCE_DIR}/cmake/debian-changelog ${crlf}/CHANGES.txt)
  # The pages keep their names, which the README's links give.
  foreach(page ${WINCUE_DOCS})
    get_filename_component(name ${page} NAME)
    copy_with_crlf(${page} ${crlf}/docs/${name})
    install(FILES ${crlf}/docs/${name} DESTINATION docs)
  endforeach()
  # Unzipped, the program is where the user looks first, at the top.
  install(TARGETS wincue RUNTIME DESTINATION .)
  install(FILES ${crlf}/README.txt ${crlf}/LICENSE.txt ${crlf}/CHANGES.txt
    DESTINATION .)
  install(FILES ${crlf}/config.ini DESTINATION examples)

  set(CPACK_GENERATOR ZIP)
  # Windows' "Extract All" already makes a folder named after the zip.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  # The zip lists its files sorted by name, whatever order the file system
  # reads its directories in (tmpfs: newest first, ext4: by hash): CPack
  # sorts the files of each component, but packs a plain install in the
  # order it finds them.
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL wincue)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
else()
  install(TARGETS wincue RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The desktops, each loaded only by a run that uses it.
  install(TARGETS wincue-x11 wincue-sway wincue-kwin wincue-gnome wincue-gnome-install wincue-wlr
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/wincue
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  # wincue's GNOME Shell extension, both variants, where every user's shell
  # finds them (enabled by none until wincue --install-gnome-extension).
  install(DIRECTORY ${WINCUE_GNOME_EXTENSIONS}/
    DESTINATION ${CMAKE_INSTALL_DATADIR}/gnome-shell/extensions
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(FILES wincue.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${WINCUE_DOCS} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
  install(FILES examples/config.ini
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
  install(FILES examples/linux/config.ini
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/linux)
  install(FILES examples/wayland/config.ini
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/wayland)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION x11)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The bundled examples start xlogo and zenity, which nothing else pulls in.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "x11-apps, zenity")
  # CPack puts the summary above this as the first line.
  set(CPACK_PACKAGE_DESCRIPTION
    "wincue reads the numbered steps of config.ini in the current directory
and runs them in order: it enables or disables, shows or hides the
top-level X11 windows (or those of a sway, KWin or GNOME Wayland session)
whose exact title and class name fit a step, waits for such a window,
sleeps, or starts a program. The same scripts drive the Windows build of
the program.")
  # The debug symbols stay in the build tree.
  set(CPACK_STRIP_FILES ON)
  # The copyright file, the changelog and a compressed manual page, which
  # Debian wants and a plain install does not.
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian-docs.cmake)
  set(CPACK_WINCUE_SOURCE_DIR ${PROJECT_SOURCE_DIR})
  # An Installed-Size that does not depend on the builder's file system.
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian-size.cmake)
endif()

include(CPack)
