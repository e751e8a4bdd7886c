# Pellora's code and comments speak of Pellora in its own terms: no phrase that presents it as
# a copy or counterpart of another program. Arguments: -DSOURCE_DIR=<repository>
# Each phrase is a regular expression whose words are joined by "[ ]" (so this file does not
# itself hold the phrases it looks for) and starts at a word ("import of" does not match).
set(phrases "desktop[ ]original" "original[ ]app" "ported[ ]from" "port[ ]of" "macos[ ]version"
    # Conventions are stated as they are ("y grows upward"), not by appeal to a platform.
    "the[ ]platform's" "as[ ]the[ ]platform" "the[p]latform")
file(GLOB_RECURSE files "${SOURCE_DIR}/src/*" "${SOURCE_DIR}/tools/*" "${SOURCE_DIR}/tests/*" "${SOURCE_DIR}/bench/*"
     "${SOURCE_DIR}/resources/*.json"
     "${SOURCE_DIR}/resources/*.desktop" "${SOURCE_DIR}/resources/*.xml")
set(found "")
foreach(file IN LISTS files)
  if(NOT file MATCHES "\\.(h|cpp|proto|json|desktop|xml|txt|cmake)$")
    continue()
  endif()
  file(READ "${file}" text)
  string(TOLOWER "${text}" text)
  foreach(phrase IN LISTS phrases)
    string(REGEX MATCH "(^|[^a-z])${phrase}" hit "${text}")
    if(hit)
      string(REPLACE "[ ]" " " shown "${phrase}")
      list(APPEND found "${file}: \"${shown}\"")
    endif()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n" report)
  message(FATAL_ERROR "Wording to change:\n${report}")
endif()
