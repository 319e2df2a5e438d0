# Install.cmake - the installed layout and the .deb (./dx package).
#
#   bin/dxfilter                       RPATH $ORIGIN/../lib/<package>
#   lib/<package>/libQOR<area>.so      the kit, one library an area, for hosts that embed it
#   lib/<package>/modules/*.so         the filtering module, the providers, the test driver
#   share/<package>/catalogs           message catalogs
#   share/<package>/web                the page as the kit serves it (webapps/, __qor/)
#   include/<package>                  the kit's interface headers and the module's exported ones
#   lib/cmake/DataExchangeInputFiltering, lib/pkgconfig/<package>.pc
#
# The kit looks for modules and catalogs below the program's installation root, so the
# tree works wherever it is unpacked. Everything is relative: no RPATH or file names the
# install prefix.
include(CMakePackageConfigHelpers)

set(dx_modules DXInputFilterServices DXInputFilterTestDriver InputIfcFilter InputStepFilter)

set_target_properties(dxfilter PROPERTIES INSTALL_RPATH "$ORIGIN/../${DX_INSTALL_LIBDIR}")
# Modules need the kit one folder up, and the driver the filtering module beside it.
set_target_properties(${dx_modules} PROPERTIES INSTALL_RPATH "$ORIGIN:$ORIGIN/..")

install(TARGETS dxfilter RUNTIME DESTINATION bin)
install(TARGETS QORHostKit ${DX_HOST_LIBRARIES} EXPORT DataExchangeInputFilteringTargets
        LIBRARY DESTINATION ${DX_INSTALL_LIBDIR})
install(TARGETS DXInputFilterServices EXPORT DataExchangeInputFilteringTargets
        LIBRARY DESTINATION ${DX_INSTALL_MODULEDIR})
install(TARGETS DXInputFilterTestDriver InputIfcFilter InputStepFilter
        LIBRARY DESTINATION ${DX_INSTALL_MODULEDIR})

install(DIRECTORY ${CMAKE_SOURCE_DIR}/catalogs/ DESTINATION ${DX_INSTALL_CATALOGDIR})

# The same keys as the embedded tables (the kit's and the modules'): a host that
# serves the page itself gets the files the kit would serve.
get_property(dx_install_web_assets GLOBAL PROPERTY QOR_WEB_ASSETS)
list(LENGTH dx_install_web_assets dx_count)
math(EXPR dx_last "${dx_count} - 1")
foreach(i RANGE 0 ${dx_last} 2)
  math(EXPR j "${i} + 1")
  list(GET dx_install_web_assets ${i} key)
  list(GET dx_install_web_assets ${j} file)
  get_filename_component(key_dir "${key}" DIRECTORY)
  get_filename_component(key_name "${key}" NAME)
  install(FILES "${file}" DESTINATION "${DX_INSTALL_WEBDIR}/${key_dir}" RENAME "${key_name}")
endforeach()

# Interface headers only: the src/ folders are the kit's own.
foreach(area ${DX_HOST_AREAS})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/host/${area}/ DESTINATION ${DX_INSTALL_INCLUDEDIR}/${area}
          FILES_MATCHING PATTERN "*.h" PATTERN "src" EXCLUDE PATTERN "web" EXCLUDE)
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/DataExchangeInputFiltering/exported/
        DESTINATION ${DX_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")

# find_package(DataExchangeInputFiltering) gives DX::QORHostKit and DX::DXInputFilterServices.
set(dx_cmake_dir lib/cmake/DataExchangeInputFiltering)
install(EXPORT DataExchangeInputFilteringTargets NAMESPACE DX:: DESTINATION ${dx_cmake_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/DataExchangeInputFilteringConfig.cmake.in
  ${CMAKE_BINARY_DIR}/DataExchangeInputFilteringConfig.cmake
  INSTALL_DESTINATION ${dx_cmake_dir}
  PATH_VARS DX_INSTALL_MODULEDIR DX_INSTALL_CATALOGDIR DX_INSTALL_WEBDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/DataExchangeInputFilteringConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/DataExchangeInputFilteringConfig.cmake
              ${CMAKE_BINARY_DIR}/DataExchangeInputFilteringConfigVersion.cmake
        DESTINATION ${dx_cmake_dir})

# The kit's libraries, each before the ones it uses.
set(dx_pc_libs ${DX_HOST_LIBRARIES})
list(REVERSE dx_pc_libs)
list(TRANSFORM dx_pc_libs PREPEND "-l")
list(JOIN dx_pc_libs " " DX_PC_LIBS)
configure_file(${CMAKE_CURRENT_LIST_DIR}/dx-input-filtering.pc.in
               ${CMAKE_BINARY_DIR}/${DX_PACKAGE_NAME}.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${DX_PACKAGE_NAME}.pc DESTINATION lib/pkgconfig)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${DX_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Input filtering for model import: dxfilter, modules and host kit")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Data exchange team <dx@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Library dependencies from the binaries themselves; the browser opens the filter page.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS chromium)
include(CPack)
