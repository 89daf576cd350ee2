# kamishibai_add_saver_resources(TARGET)
#
# Gives the Windows executable TARGET the saver's resources: the string table,
# the icon, the version information and the application manifest, all from
# resources/win32/. The script kamishibai.rc.in is configured into
# ${CMAKE_CURRENT_BINARY_DIR}/TARGET_resources/, so that the version comes from
# the project (PROJECT_VERSION_MAJOR/MINOR/PATCH), and compiled by windres as
# one of TARGET's sources.
#
# Include this file from a directory whose targets are the only ones using RC
# (or from the top), in a Windows build only: it enables the RC language.

include_guard(DIRECTORY)

# enable_language only works at directory scope, so it happens when this file
# is included rather than inside the function.
if(WIN32)
  enable_language(RC)
endif()

function(kamishibai_add_saver_resources TARGET)
  if(NOT WIN32)
    message(FATAL_ERROR "kamishibai_add_saver_resources(${TARGET}): Windows resources need a Windows build (the win64 preset)")
  endif()
  if(NOT TARGET ${TARGET})
    message(FATAL_ERROR "kamishibai_add_saver_resources(${TARGET}): no such target")
  endif()

  cmake_path(SET resource_folder NORMALIZE "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../resources/win32")
  set(KAMISHIBAI_SAVER_ICON "${resource_folder}/kamishibai.ico")
  set(KAMISHIBAI_SAVER_MANIFEST "${resource_folder}/kamishibai.manifest")
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${TARGET}_resources/kamishibai.rc")
  configure_file("${resource_folder}/kamishibai.rc.in" "${script}" @ONLY)

  # windres reads the icon and the manifest while it compiles, but CMake's
  # dependency scan only follows #include lines.
  set_source_files_properties("${script}" TARGET_DIRECTORY ${TARGET} PROPERTIES
    OBJECT_DEPENDS "${KAMISHIBAI_SAVER_ICON};${KAMISHIBAI_SAVER_MANIFEST}")

  # Of the target's compile flags CMake hands windres only -D and -I, so the
  # warning options the executable takes from kamishibai_warnings stay out.
  target_sources(${TARGET} PRIVATE "${script}")
endfunction()
