# The desktop application on Qt 6 Widgets. Included from the top-level list
# when Qt is found; automoc runs only on these targets.

# Qt pieces of the platform: the main queue on the event loop, the catalogue
# bridge to Qt's translation lookup.
file(GLOB TAVUNO_PLATFORM_QT_SOURCES CONFIGURE_DEPENDS platform/qt/*.cpp platform/qt/*.h)
add_library(tavuno_platform_qt STATIC ${TAVUNO_PLATFORM_QT_SOURCES})
set_target_properties(tavuno_platform_qt PROPERTIES AUTOMOC ON)
target_link_libraries(tavuno_platform_qt PUBLIC tavuno_core Qt6::Core)
tavuno_warnings(tavuno_platform_qt)
qt_add_resources(tavuno_platform_qt tavuno_catalogs
  PREFIX "/lang" BASE resources/lang
  FILES resources/lang/en.po resources/lang/pt.po)
