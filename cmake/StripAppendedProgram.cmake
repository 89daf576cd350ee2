# kamishibai_install_strip_appended(BARE_TARGET ARCHIVE_FILE INSTALLED_FILE...)
#
# A program with an archive appended (kamishibai_append_archive) is installed
# with install(PROGRAMS), which `cmake --install --strip` and CPack's
# CPACK_STRIP_FILES leave alone, and which no strip tool may touch: the
# archive lies outside every section of the program, so stripping the file
# would drop it. This adds an install step for stripped installs only: each
# INSTALLED_FILE (relative to the install prefix) is checked to be, byte for
# byte, BARE_TARGET's program followed by ARCHIVE_FILE, and is then replaced
# by the stripped program followed by the same archive. A file that is not
# that pair stops the install rather than ship a program without its
# archive; a symbolic link is left alone (its target is one of the files).
#
# This file is also the install-time script of that step (included with
# KAMISHIBAI_STRIP_INSTALLED set).

if(NOT DEFINED KAMISHIBAI_STRIP_INSTALLED)

include_guard(DIRECTORY)

function(kamishibai_install_strip_appended BARE_TARGET ARCHIVE_FILE)
  if(NOT CMAKE_STRIP)
    message(STATUS "No strip tool: ${ARGN} will be installed unstripped")
    return()
  endif()
  set(script "${CMAKE_CURRENT_FUNCTION_LIST_FILE}")
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      set(KAMISHIBAI_STRIP_INSTALLED \"${ARGN}\")
      set(KAMISHIBAI_STRIP_BARE \"$<TARGET_FILE:${BARE_TARGET}>\")
      set(KAMISHIBAI_STRIP_ARCHIVE \"${ARCHIVE_FILE}\")
      set(KAMISHIBAI_STRIP_TOOL \"${CMAKE_STRIP}\")
      include(\"${script}\")
    endif()")
endfunction()

return()
endif()

# Install-time step: CMAKE_INSTALL_PREFIX is the one being installed to.

file(SIZE "${KAMISHIBAI_STRIP_BARE}" bare_size)
file(SIZE "${KAMISHIBAI_STRIP_ARCHIVE}" archive_size)
math(EXPR appended_size "${bare_size} + ${archive_size}")
foreach(relative IN LISTS KAMISHIBAI_STRIP_INSTALLED)
  set(installed "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${relative}")
  if(IS_SYMLINK "${installed}")
    continue()
  endif()
  if(NOT EXISTS "${installed}")
    message(FATAL_ERROR "${installed}: not installed, so it cannot be stripped")
  endif()
  file(SIZE "${installed}" installed_size)
  set(unstripped "${installed}.unstripped")
  set(stripped "${installed}.stripped")
  set(partial "${installed}.partial")
  set(is_pair FALSE)
  if(installed_size EQUAL appended_size)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${KAMISHIBAI_STRIP_BARE}" "${KAMISHIBAI_STRIP_ARCHIVE}"
                    OUTPUT_FILE "${unstripped}" RESULT_VARIABLE result)
    if(result EQUAL 0)
      execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${installed}" "${unstripped}"
                      RESULT_VARIABLE result)
      if(result EQUAL 0)
        set(is_pair TRUE)
      endif()
    endif()
    file(REMOVE "${unstripped}")
  endif()
  if(NOT is_pair)
    message(FATAL_ERROR "${installed} is not ${KAMISHIBAI_STRIP_BARE} followed by ${KAMISHIBAI_STRIP_ARCHIVE}: "
                        "stripping it would lose its archive")
  endif()
  execute_process(COMMAND "${KAMISHIBAI_STRIP_TOOL}" -o "${stripped}" "${KAMISHIBAI_STRIP_BARE}"
                  RESULT_VARIABLE result)
  if(result EQUAL 0)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${stripped}" "${KAMISHIBAI_STRIP_ARCHIVE}"
                    OUTPUT_FILE "${partial}" RESULT_VARIABLE result)
  endif()
  file(REMOVE "${stripped}")
  if(NOT result EQUAL 0)
    file(REMOVE "${partial}")
    message(FATAL_ERROR "${installed}: stripping failed (${result})")
  endif()
  file(CHMOD "${partial}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                      WORLD_READ WORLD_EXECUTE)
  file(RENAME "${partial}" "${installed}")
  message(STATUS "Stripped (archive kept): ${installed}")
endforeach()
