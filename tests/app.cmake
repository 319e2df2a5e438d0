# Tests of the IFC provider through the generator, and of dxfilter end to end.
if(TARGET InputIfcFilter)
  dx_add_test_dir(IFCProvider)
  add_dependencies(test_IFCProvider InputIfcFilter DXInputFilterServices)
  target_compile_definitions(test_IFCProvider PRIVATE
                             "DX_SAMPLES_DIR=\"${CMAKE_SOURCE_DIR}/samples\"")
endif()
if(TARGET dxfilter)
  dx_add_test_dir(dxfilter)
  add_dependencies(test_dxfilter dxfilter InputIfcFilter DXInputFilterServices)
  target_compile_definitions(test_dxfilter PRIVATE
                             "DX_SAMPLES_DIR=\"${CMAKE_SOURCE_DIR}/samples\""
                             "DX_DXFILTER=\"$<TARGET_FILE:dxfilter>\"")
  # The carry is tested as a unit too, from dxfilter's own source.
  target_sources(test_dxfilter PRIVATE ${CMAKE_SOURCE_DIR}/apps/dxfilter/FilterCarry.cpp)
  target_include_directories(test_dxfilter PRIVATE ${CMAKE_SOURCE_DIR}/apps/dxfilter)
endif()
