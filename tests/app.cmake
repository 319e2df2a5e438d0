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
  if(TARGET InputStepFilter)
    add_dependencies(test_dxfilter InputStepFilter)
  endif()
  target_compile_definitions(test_dxfilter PRIVATE
                             "DX_SAMPLES_DIR=\"${CMAKE_SOURCE_DIR}/samples\""
                             "DX_DXFILTER=\"$<TARGET_FILE:dxfilter>\"")
  # The dialog's page is played by an HTTP client.
  target_link_libraries(test_dxfilter PRIVATE PkgConfig::HTTPLIB)
endif()
