# The desktop application on Qt 6 Widgets. Included from the top-level list
# when Qt is found; automoc runs only on these targets.

# Qt pieces of the platform: the main queue on the event loop, the catalogue
# bridge to Qt's translation lookup, and the desktop services (notifications
# over D-Bus, the global shortcut by X11 key grabs or through the portal,
# start at login).
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-keysyms xcb-xkb)
file(GLOB TAVUNO_PLATFORM_QT_SOURCES CONFIGURE_DEPENDS platform/qt/*.cpp platform/qt/*.h)
add_library(tavuno_platform_qt STATIC ${TAVUNO_PLATFORM_QT_SOURCES})
set_target_properties(tavuno_platform_qt PROPERTIES AUTOMOC ON)
target_link_libraries(tavuno_platform_qt PUBLIC tavuno_domain tavuno_platform_std Qt6::Core Qt6::DBus
  PkgConfig::XCB)
tavuno_warnings(tavuno_platform_qt)
tavuno_link_check(tavuno_platform_qt)
qt_add_resources(tavuno_platform_qt tavuno_catalogs
  PREFIX "/lang" BASE resources/lang
  FILES resources/lang/en.po resources/lang/pt.po)

# The screens: the bridge from the service's observers to signals, the
# widgets, the views and the tray.
file(GLOB TAVUNO_UI_SOURCES CONFIGURE_DEPENDS
  ui/bridge/*.cpp ui/bridge/*.h ui/widgets/*.cpp ui/widgets/*.h
  ui/views/*.cpp ui/views/*.h ui/tray/*.cpp ui/tray/*.h)
add_library(tavuno_ui STATIC ${TAVUNO_UI_SOURCES})
set_target_properties(tavuno_ui PROPERTIES AUTOMOC ON)
# ICU (through the core) words the relative times of the automation history ("há 5 minutos").
target_link_libraries(tavuno_ui PUBLIC tavuno_ui_model tavuno_platform_qt Qt6::Widgets Qt6::Svg)
tavuno_warnings(tavuno_ui)

# The composition root, the Linux platform and the demo scene, shared by the
# executable, the screenshot tool and the tests. Without the audio server's
# client library only the demo is built.
file(GLOB TAVUNO_APP_SOURCES CONFIGURE_DEPENDS app/*.cpp app/*.h app/control/*.cpp app/control/*.h)
list(FILTER TAVUNO_APP_SOURCES EXCLUDE REGEX "app/main\\.cpp$")
if(NOT TARGET tavuno_platform_linux)
  list(FILTER TAVUNO_APP_SOURCES EXCLUDE REGEX "app/(LinuxPlatform|ServerAbsenceNotice)\\.(cpp|h)$")
endif()
add_library(tavuno_app STATIC ${TAVUNO_APP_SOURCES})
set_target_properties(tavuno_app PROPERTIES AUTOMOC ON)
target_link_libraries(tavuno_app PUBLIC tavuno_ui tavuno_control tavuno_sim tavuno_platform_std
  Qt6::DBus)
if(TARGET tavuno_platform_linux)
  target_link_libraries(tavuno_app PUBLIC tavuno_platform_linux)
  target_compile_definitions(tavuno_app PRIVATE TAVUNO_LINUX_AUDIO)
endif()
tavuno_warnings(tavuno_app)

add_executable(tavuno app/main.cpp)
target_compile_definitions(tavuno PRIVATE TAVUNO_VERSION="${PROJECT_VERSION}")
target_link_libraries(tavuno PRIVATE tavuno_app)
tavuno_warnings(tavuno)

# The screenshot tool (scripts/shots).
add_executable(tavuno-shots app/shots/main.cpp)
target_link_libraries(tavuno-shots PRIVATE tavuno_app)
tavuno_warnings(tavuno-shots)

include(cmake/Packaging.cmake)
