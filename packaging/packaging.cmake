# Installing on a Linux desktop: the menu entry, its icon in the sizes the
# desktops look up, the AppStream metainfo and the manual page of
# zafirel-cli; and the Debian package of the whole install (cpack in the
# build folder).
set(ZAFIREL_APP_ID io.github.zafirel.Zafirel)
set(ZAFIREL_PACKAGING ${CMAKE_CURRENT_LIST_DIR})

if(ZAFIREL_GUI)
  install(FILES ${ZAFIREL_PACKAGING}/${ZAFIREL_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${ZAFIREL_PACKAGING}/${ZAFIREL_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  set(icon_svg ${ZAFIREL_PACKAGING}/${ZAFIREL_APP_ID}.svg)
  install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The fixed sizes are drawn from the SVG (rsvg-convert: librsvg2-bin).
  find_program(ZAFIREL_RSVG_CONVERT rsvg-convert REQUIRED)
  set(icon_pngs)
  foreach(size 16 32 48 64 128 256)
    set(folder ${CMAKE_BINARY_DIR}/icons/${size}x${size})
    add_custom_command(OUTPUT ${folder}/${ZAFIREL_APP_ID}.png
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND ${ZAFIREL_RSVG_CONVERT} --width ${size} --height ${size}
              --output ${folder}/${ZAFIREL_APP_ID}.png ${icon_svg}
      DEPENDS ${icon_svg} VERBATIM)
    list(APPEND icon_pngs ${folder}/${ZAFIREL_APP_ID}.png)
    install(FILES ${folder}/${ZAFIREL_APP_ID}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(zafirel_icons ALL DEPENDS ${icon_pngs})
endif()

# The manual pages, and the package's copyright and changelog, compressed
# as Debian keeps them (gzip -9, no name or time inside).
set(manuals zafirel-cli.1)
if(ZAFIREL_GUI)
  list(APPEND manuals zafirel.1)
endif()
set(compressed)
foreach(text IN LISTS manuals ITEMS changelog)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${text}.gz
    COMMAND gzip -9 -n -c ${ZAFIREL_PACKAGING}/${text} > ${CMAKE_BINARY_DIR}/${text}.gz
    DEPENDS ${ZAFIREL_PACKAGING}/${text} VERBATIM)
  list(APPEND compressed ${CMAKE_BINARY_DIR}/${text}.gz)
endforeach()
add_custom_target(zafirel_manual ALL DEPENDS ${compressed})
foreach(manual IN LISTS manuals)
  install(FILES ${CMAKE_BINARY_DIR}/${manual}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${ZAFIREL_PACKAGING}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zafirel)

# The Debian package. Its Depends are the packages of the libraries the
# executables link (dpkg-shlibdeps, from dpkg-dev) and of what the window
# uses beyond them: xdg-open (QDesktopServices) opens pages and folders, and
# Qt's translations give the texts of Qt's own dialogs and buttons. The xcb
# platform plugin comes with libqt6gui6.
set(ZAFIREL_DEB_MAINTAINER "Zafirel! maintainers <zafirel@example.invalid>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zafirel)
set(CPACK_PACKAGE_VENDOR "Zafirel!")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZAFIREL_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils, qt6-translations-l10n")
# The Arial-compatible font the window's design sizes assume.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cataloguer of disc volumes, browsed and searched offline")
# The summary above comes first, then this text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Zafirel! walks a CD, DVD or any other volume and keeps one record per disc,
with its folder tree and its file list, in dBase IV tables, so that the discs
can be browsed, edited, searched and exported (HTML) while they stay on the
shelf. The window is in Spanish by default and switches to English.
zafirel-cli does the same work from the command line.")
include(CPack)
