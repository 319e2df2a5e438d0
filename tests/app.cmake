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
  # The carry is tested as a unit too, from dxfilter's own source.
  target_sources(test_dxfilter PRIVATE ${CMAKE_SOURCE_DIR}/apps/dxfilter/FilterCarry.cpp)
  target_include_directories(test_dxfilter PRIVATE ${CMAKE_SOURCE_DIR}/apps/dxfilter)
  # The dialog's page is played by an HTTP client.
  target_link_libraries(test_dxfilter PRIVATE PkgConfig::HTTPLIB)
endif()

# The carry reads the old document on a thread of its own: that test alone, built in the
# ThreadSanitizer build too (ctest -L concurrency).
add_executable(test_carry_concurrency ${CMAKE_CURRENT_SOURCE_DIR}/dxfilter/concurrency/CarryReadingTest.cpp
               ${CMAKE_SOURCE_DIR}/apps/dxfilter/FilterCarry.cpp)
target_include_directories(test_carry_concurrency PRIVATE ${CMAKE_SOURCE_DIR}/apps/dxfilter)
target_link_libraries(test_carry_concurrency PRIVATE QORHostKit GTest::gtest GTest::gtest_main)
add_test(NAME dxfilter.CarryConcurrencyTests COMMAND test_carry_concurrency)
set_tests_properties(dxfilter.CarryConcurrencyTests PROPERTIES
  LABELS "concurrency" ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1")
