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
