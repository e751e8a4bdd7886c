# Installs the build into a fresh prefix and checks what `cmake --install` puts there:
# the application, its desktop entry, its file types and its icon; no development service.
# Arguments: -DBUILD_DIR=<build folder> -DPREFIX=<scratch folder>
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${output}")
endif()
foreach(expected IN ITEMS
    bin/pellora
    bin/pellora-chat.so
    bin/pellora-metadata.so
    bin/pellora-zip.so
    share/applications/com.quenfield.pellora.desktop
    share/mime/packages/com.quenfield.pellora.xml
    share/icons/hicolor/scalable/apps/com.quenfield.pellora.svg)
  if(NOT EXISTS "${PREFIX}/${expected}")
    message(FATAL_ERROR "not installed: ${expected}")
  endif()
endforeach()
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
foreach(path IN LISTS installed)
  if(path MATCHES "devservice|_tests|\\.a$")
    message(FATAL_ERROR "installed but should not be: ${path}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
