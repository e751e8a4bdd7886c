# Helpers shared by every target of the project.

option(PELLORA_WERROR "Treat compiler warnings as errors" OFF)
set(PELLORA_WARNINGS -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wno-missing-field-initializers -Wno-maybe-uninitialized)
if(PELLORA_WERROR)
  list(APPEND PELLORA_WARNINGS -Werror)
endif()

# pellora_library(<name> DIRS <dir>... [EXCLUDE <regex>] [LIBS <lib>...] [PLUGIN_CODE])
# A static library made of every source file in the given folders (relative to src/).
# PLUGIN_CODE: the sources are compiled once, position-independent, into the object library
# <name>_objects, of which the static library is made; a plugin takes those objects alone and
# finds the libraries below in the executable that loads it.
function(pellora_library name)
  cmake_parse_arguments(ARG "PLUGIN_CODE" "EXCLUDE" "DIRS;LIBS" ${ARGN})
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
  # The layering table: which folders the library owns and which of our libraries it links.
  set_property(GLOBAL APPEND PROPERTY PELLORA_LIBRARIES ${name})
  set_property(GLOBAL PROPERTY PELLORA_FOLDERS_${name} ${ARG_DIRS})
  set(ours)
  foreach(lib IN LISTS ARG_LIBS)
    if(lib MATCHES "^pellora_")
      list(APPEND ours ${lib})
    endif()
  endforeach()
  set_property(GLOBAL PROPERTY PELLORA_USES_${name} ${ours})
  if(ARG_PLUGIN_CODE)
    add_library(${name}_objects OBJECT ${sources})
    set_target_properties(${name}_objects PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_include_directories(${name}_objects PUBLIC "${PROJECT_SOURCE_DIR}/src")
    target_compile_options(${name}_objects PRIVATE ${PELLORA_WARNINGS})
    # For the headers and definitions: the objects are taken by name, so no link follows.
    target_link_libraries(${name}_objects PRIVATE ${ARG_LIBS})
    add_library(${name} STATIC $<TARGET_OBJECTS:${name}_objects>)
  else()
    add_library(${name} STATIC ${sources})
  endif()
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

# pellora_layering_check(<test name>)
# Writes the layering table (folders -> library, library -> the libraries it may use, closed
# over links) and adds a test that checks every #include of src/ against it.
function(pellora_layering_check test)
  get_property(libraries GLOBAL PROPERTY PELLORA_LIBRARIES)
  set(table "# Written by cmake from src/CMakeLists.txt: the layering the include check enforces.\n")
  foreach(lib IN LISTS libraries)
    get_property(folders GLOBAL PROPERTY PELLORA_FOLDERS_${lib})
    foreach(folder IN LISTS folders)
      string(APPEND table "folder ${folder} ${lib}\n")
    endforeach()
    # Everything reachable through links.
    get_property(pending GLOBAL PROPERTY PELLORA_USES_${lib})
    set(closed)
    while(pending)
      list(POP_FRONT pending next)
      if(NOT next IN_LIST closed)
        list(APPEND closed ${next})
        get_property(more GLOBAL PROPERTY PELLORA_USES_${next})
        list(APPEND pending ${more})
      endif()
    endwhile()
    list(JOIN closed " " closed_text)
    string(APPEND table "uses ${lib} ${closed_text}\n")
  endforeach()
  set(file "${PROJECT_BINARY_DIR}/layering.txt")
  file(WRITE "${file}" "${table}")
  add_test(NAME ${test} COMMAND ${CMAKE_COMMAND} -DTABLE=${file} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/src
    -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake)
  # The check itself: an upward include planted in a small tree must fail it.
  add_test(NAME ${test}.FindsPlantedUpwardInclude COMMAND ${CMAKE_COMMAND} -DTABLE=${file}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/tests/layering/planted -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake)
  set_tests_properties(${test}.FindsPlantedUpwardInclude PROPERTIES PASS_REGULAR_EXPRESSION
    "platform/Planted.h: includes \"shell/PLRShellHooks.h\": pellora_platform may not use pellora_shell")
  # And a notification name defined in one library and spelled out again in another.
  add_test(NAME ${test}.FindsPlantedTwiceDefinedName COMMAND ${CMAKE_COMMAND} -DTABLE=${file}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/tests/layering/planted -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake)
  set_tests_properties(${test}.FindsPlantedTwiceDefinedName PROPERTIES PASS_REGULAR_EXPRESSION
    "\"kPLR_NOTIFICATION_PLANTED\" is defined in 2 libraries: pellora_platform \\(platform/Planted.h\\) and pellora_shell \\(shell/PlantedName.h\\)")
endfunction()
