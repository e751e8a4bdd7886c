# Helpers shared by every target of the project.

set(PELLORA_WARNINGS -Wall -Wextra -Wno-missing-field-initializers -Wno-maybe-uninitialized)

# pellora_library(<name> DIRS <dir>... [EXCLUDE <regex>] [LIBS <lib>...])
# A static library made of every source file in the given folders (relative to src/).
function(pellora_library name)
  cmake_parse_arguments(ARG "" "EXCLUDE" "DIRS;LIBS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
      "${PROJECT_SOURCE_DIR}/src/${dir}/*.cpp" "${PROJECT_SOURCE_DIR}/src/${dir}/*.h")
    list(APPEND sources ${found})
  endforeach()
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  if(NOT sources)
    # A subsystem whose folders are still empty: an empty library keeps the link order whole.
    set(stub "${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp")
    file(WRITE "${stub}" "namespace { [[maybe_unused]] int ${name}_empty; }\n")
    list(APPEND sources "${stub}")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_compile_options(${name} PRIVATE ${PELLORA_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# pellora_test(<name> DIRS <dir>... LIBS <lib>...)
# One test executable made of every test file in the given folders (relative to tests/).
function(pellora_test name)
  cmake_parse_arguments(ARG "" "" "DIRS;LIBS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
      "${PROJECT_SOURCE_DIR}/tests/${dir}/*.cpp" "${PROJECT_SOURCE_DIR}/tests/${dir}/*.h")
    list(APPEND sources ${found})
  endforeach()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_compile_options(${name} PRIVATE ${PELLORA_WARNINGS})
  target_link_libraries(${name} PRIVATE pellora_testsupport ${ARG_LIBS})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
endfunction()
