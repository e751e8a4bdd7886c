# cmake -DTABLE=<file> -DSOURCE_DIR=<src folder> -P CheckIncludes.cmake
# Checks every #include "..." of the sources against the layering table that src/CMakeLists.txt
# writes: which library owns which folder, and which libraries each library may use. A file may
# include headers of its own library and of the libraries it links; anything else (an upward
# include) fails the check with the file, the line and the two libraries.

cmake_minimum_required(VERSION 3.25)

if(NOT TABLE OR NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckIncludes: TABLE and SOURCE_DIR are required")
endif()

file(STRINGS "${TABLE}" table_lines)
set(folders)
foreach(line IN LISTS table_lines)
  if(line MATCHES "^folder ([^ ]+) ([^ ]+)$")
    list(APPEND folders "${CMAKE_MATCH_1}")
    set(owner_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  elseif(line MATCHES "^uses ([^ ]+) ?(.*)$")
    string(REPLACE " " ";" used "${CMAKE_MATCH_2}")
    set(uses_${CMAKE_MATCH_1} ${CMAKE_MATCH_1} ${used})
  endif()
endforeach()
# Longest folder first, so that platform/ui wins over platform.
list(SORT folders COMPARE STRING ORDER DESCENDING)

# The library owning a path relative to src/ (empty when none does).
function(owner_of path out)
  set(found "")
  foreach(folder IN LISTS folders)
    if(folder STREQUAL "." )
      continue()
    endif()
    string(LENGTH "${folder}/" n)
    string(SUBSTRING "${path}" 0 ${n} head)
    if(head STREQUAL "${folder}/")
      set(found "${owner_${folder}}")
      break()
    endif()
  endforeach()
  if(NOT found AND NOT path MATCHES "/" AND DEFINED owner_${path})
    set(found "${owner_${path}}")
  endif()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
set(faults 0)
foreach(source IN LISTS sources)
  owner_of("${source}" from)
  if(NOT from)
    if(source MATCHES "/")
      # Every folder of src/ is one library's: a file no library owns escapes the check.
      message("${source}: belongs to no library of the layering table")
      math(EXPR faults "${faults} + 1")
    endif()
    continue()   # the executable's own files (at the top of src/) may use every library
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
  foreach(include IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${include}")
    owner_of("${header}" to)
    if(NOT to)
      continue()   # not one of ours (or the folder's own neighbour)
    endif()
    if(NOT to IN_LIST uses_${from})
      message("${source}: includes \"${header}\": ${from} may not use ${to}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) against the layering of src/CMakeLists.txt")
endif()
list(LENGTH sources count)
message("Includes of ${count} files follow the layering")
