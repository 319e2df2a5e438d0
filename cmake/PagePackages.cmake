# PagePackages.cmake - the npm packages the filter page loads at run time: the
# "dependencies" of package.json (devDependencies are for tests only). A build without
# them would embed a page that fails in the browser, so configuring stops instead.
#
#   dx_page_packages(names)   # fails the configure when one is not in node_modules

function(dx_page_packages out_var)
  set(manifest "${CMAKE_SOURCE_DIR}/package.json")
  set(names)
  if(EXISTS "${manifest}")
    file(READ "${manifest}" text)
    string(JSON count ERROR_VARIABLE no_deps LENGTH "${text}" dependencies)
    if(NOT no_deps AND count GREATER 0)
      math(EXPR last "${count} - 1")
      foreach(i RANGE 0 ${last})
        string(JSON name MEMBER "${text}" dependencies ${i})
        list(APPEND names "${name}")
      endforeach()
    endif()
  endif()
  set(missing)
  foreach(name ${names})
    if(NOT EXISTS "${CMAKE_SOURCE_DIR}/node_modules/${name}/package.json")
      list(APPEND missing "${name}")
    endif()
  endforeach()
  if(missing)
    list(JOIN missing ", " missing)
    message(FATAL_ERROR "The filter page needs npm packages that are not installed: ${missing}. "
                        "Run 'npm ci' in ${CMAKE_SOURCE_DIR} (./dx setup does).")
  endif()
  # Read again when package.json changes.
  set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${manifest}")
  set(${out_var} "${names}" PARENT_SCOPE)
endfunction()
