dx_add_test_dir(IFC IfcModel)
dx_add_test_dir(StepFile StepFile)
dx_add_test_dir(STEP StepAssembly)
if(TARGET test_STEP)
  target_compile_definitions(test_STEP PRIVATE "DX_SAMPLES_DIR=\"${CMAKE_SOURCE_DIR}/samples\"")
endif()
# The STEP provider as the host drives it: loaded from disk, through the generator.
if(TARGET InputStepFilter)
  dx_add_test_dir(STEPProvider)
  add_dependencies(test_STEPProvider InputStepFilter DXInputFilterServices)
  target_compile_definitions(test_STEPProvider PRIVATE
                             "DX_SAMPLES_DIR=\"${CMAKE_SOURCE_DIR}/samples\"")
endif()

# The two-thread index and the sink fed from both threads, under ThreadSanitizer too
# (ctest -L concurrency).
if(TARGET test_StepFile AND TARGET test_STEP)
  add_test(NAME StepFile.ConcurrencyTests COMMAND test_StepFile --gtest_filter=StepSplit.*)
  add_test(NAME STEP.ConcurrencyTests COMMAND test_STEP --gtest_filter=*TwoThread*)
  set_tests_properties(StepFile.ConcurrencyTests STEP.ConcurrencyTests PROPERTIES
    LABELS "concurrency" ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
endif()

target_compile_definitions(test_IFC PRIVATE "DX_SAMPLES_DIR=\"${CMAKE_SOURCE_DIR}/samples\"")
# The two-thread index with the property index behind it, for the ThreadSanitizer build.
add_test(NAME IFC.ConcurrencyTests COMMAND test_IFC --gtest_filter=*Concurrent*)
set_tests_properties(IFC.ConcurrencyTests PROPERTIES
  LABELS "concurrency"
  ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
