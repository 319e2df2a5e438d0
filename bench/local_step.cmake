# Links the STEP assembly reader into its benchmark, and builds the modules its generation
# case loads from lib/modules at run time. Deferred from providers/STEP once the whole tree
# is read.
include_guard(GLOBAL)
if(TARGET bench_step_assembly AND TARGET StepAssembly)
  target_link_libraries(bench_step_assembly PRIVATE StepAssembly)
endif()
if(TARGET bench_step_assembly AND TARGET DXInputFilterServices AND TARGET InputStepFilter)
  add_dependencies(bench_step_assembly DXInputFilterServices InputStepFilter)
endif()
