# Build constants taken from git at configure time; outside a checkout they read "unknown".
function(zel_git out)
  execute_process(COMMAND git ${ARGN}
    WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}"
    OUTPUT_VARIABLE value ERROR_QUIET RESULT_VARIABLE rc
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0 OR value STREQUAL "")
    set(value "unknown")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

zel_git(ZEL_GIT_BRANCH rev-parse --abbrev-ref HEAD)
zel_git(ZEL_GIT_REV rev-parse HEAD)
zel_git(ZEL_GIT_REV_SHORT rev-parse --short=8 HEAD)
configure_file("${CMAKE_SOURCE_DIR}/cmake/Git.Revision.h.in"
               "${CMAKE_BINARY_DIR}/generated/Git.Revision.h" @ONLY)
