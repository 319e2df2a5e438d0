# The filter benchmarks load the input-filtering module from lib/modules at run time;
# building them builds the module too. Included from bench/CMakeLists.txt.
include_guard(GLOBAL)
foreach(program bench_generator bench_reader)
  if(TARGET ${program} AND TARGET DXInputFilterServices)
    add_dependencies(${program} DXInputFilterServices)
  endif()
endforeach()
