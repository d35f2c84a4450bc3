# Installing the desktop application (`cmake --install`) and its Debian
# package (`cpack -G DEB`, see scripts/package). Included from QtApp.cmake.
include(GNUInstallDirs)

# The hicolor PNG sizes, rendered from the scalable icon at build time.
add_executable(tavuno-icon app/icon/main.cpp)
target_link_libraries(tavuno-icon PRIVATE Qt6::Gui Qt6::Svg)
tavuno_warnings(tavuno-icon)

set(TAVUNO_ICON_SVG ${PROJECT_SOURCE_DIR}/resources/linux/icons/com.tavuno.Tavuno.svg)
set(TAVUNO_ICON_SIZES 16 22 24 32 48 64 128 256 512)
set(TAVUNO_ICON_DIR ${PROJECT_BINARY_DIR}/icons/hicolor)
set(TAVUNO_ICON_PNGS)
foreach(size ${TAVUNO_ICON_SIZES})
  list(APPEND TAVUNO_ICON_PNGS ${TAVUNO_ICON_DIR}/${size}x${size}/apps/com.tavuno.Tavuno.png)
endforeach()
# A sanitizer build's leak report would fail the build for Qt's caches.
add_custom_command(OUTPUT ${TAVUNO_ICON_PNGS}
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
    $<TARGET_FILE:tavuno-icon> ${TAVUNO_ICON_SVG} ${TAVUNO_ICON_DIR} ${TAVUNO_ICON_SIZES}
  DEPENDS tavuno-icon ${TAVUNO_ICON_SVG}
  COMMENT "Rendering the hicolor icons")
add_custom_target(tavuno-icons ALL DEPENDS ${TAVUNO_ICON_PNGS})

install(TARGETS tavuno RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tavuno-guardian RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tavuno)
install(FILES resources/linux/com.tavuno.Tavuno.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/linux/com.tavuno.Tavuno.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TAVUNO_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${TAVUNO_ICON_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# The .deb: its library dependencies come from dpkg-shlibdeps on the
# installed executable.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavuno)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavuno")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Default devices, volume and the sound of every app in one place")
set(CPACK_PACKAGE_DESCRIPTION
  "Tavuno lives in the system tray and puts the computer's audio in one place: the default input and output devices, the output volume and mute, and a mixer that gives every app playing sound its own volume, mute and output device. Profiles, automations, a global mute shortcut and the tavuno command (with a D-Bus interface) for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Tavuno developers <maintainers@tavuno.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tavuno.com/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The screens are laid out in Inter; the desktop's own font is the fallback.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-inter")
# The session bus (single instance, the command line), Wayland sessions and
# Qt's own Portuguese texts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus-user-session | dbus-x11, qt6-wayland, qt6-translations-l10n")
include(CPack)
