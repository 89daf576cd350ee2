# kamishibai_append_archive(BARE_TARGET OUTPUT_NAME ARCHIVE_FILE)
#
# After the executable BARE_TARGET is built, writes OUTPUT_NAME beside it: the
# bare executable's bytes followed by ARCHIVE_FILE's bytes. The archive reader
# finds an appended archive from the trailer at the very end of the file, so
# plain concatenation is all it takes. The file is remade whenever the bare
# executable or the archive's bytes change. A relative ARCHIVE_FILE is taken from
# the calling directory's source folder.
#
# Targets made: <id> (in ALL), where <id> is OUTPUT_NAME with every character
# that is not a letter, digit or underscore turned into "_" (kamishibai.scr
# gives kamishibai_scr), and <id>_archive_check, which <id> depends on and
# which keeps the archive's SHA-256 in <id>_archive.sha256 in the calling
# directory's build folder.
#
# This file is also the build-time script of those targets (cmake -P with
# KAMISHIBAI_APPEND_STEP set to "check" or "append").

if(NOT DEFINED KAMISHIBAI_APPEND_STEP)

include_guard(DIRECTORY)

function(kamishibai_append_archive BARE_TARGET OUTPUT_NAME ARCHIVE_FILE)
  if(NOT TARGET ${BARE_TARGET})
    message(FATAL_ERROR "kamishibai_append_archive(${BARE_TARGET}): no such target")
  endif()
  get_target_property(bare_type ${BARE_TARGET} TYPE)
  if(NOT bare_type STREQUAL "EXECUTABLE")
    message(FATAL_ERROR "kamishibai_append_archive(${BARE_TARGET}): ${BARE_TARGET} is a ${bare_type}, not an executable")
  endif()

  cmake_path(ABSOLUTE_PATH ARCHIVE_FILE BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE OUTPUT_VARIABLE archive)
  string(MAKE_C_IDENTIFIER "${OUTPUT_NAME}" name)

  # A custom command's OUTPUT may not name a target ($<TARGET_FILE_DIR> is
  # refused there), so the bare file's folder is worked out here from the same
  # properties CMake uses; the append step checks that it came out right.
  get_target_property(binary_folder ${BARE_TARGET} BINARY_DIR)
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  set(folder "")
  if(NOT multi_config AND CMAKE_BUILD_TYPE)
    string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
    get_target_property(folder ${BARE_TARGET} RUNTIME_OUTPUT_DIRECTORY_${config})
  endif()
  if(NOT folder)
    get_target_property(folder ${BARE_TARGET} RUNTIME_OUTPUT_DIRECTORY)
    if(folder AND multi_config AND NOT folder MATCHES "\\$<")
      string(APPEND folder "/$<CONFIG>")
    endif()
  endif()
  if(NOT folder)
    set(folder "${binary_folder}")
    if(multi_config)
      string(APPEND folder "/$<CONFIG>")
    endif()
  endif()
  cmake_path(ABSOLUTE_PATH folder BASE_DIRECTORY "${binary_folder}" NORMALIZE)
  set(output "${folder}/${OUTPUT_NAME}")
  set(script "${CMAKE_CURRENT_FUNCTION_LIST_FILE}")
  set(fingerprint "${CMAKE_CURRENT_BINARY_DIR}/${name}_archive.sha256")
  set(step_arguments
    "-DKAMISHIBAI_APPEND_ARCHIVE=${archive}"
    "-DKAMISHIBAI_APPEND_OUTPUT_NAME=${OUTPUT_NAME}")

  # The concatenation does not depend on the archive itself: a build tool that
  # meets a missing dependency stops with its own "no rule to make" message
  # (Ninja before anything runs), which says nothing of where the archive
  # comes from. This target runs on every build instead; it says what is
  # missing and what makes it, or rewrites the archive's fingerprint when, and
  # only when, the archive's bytes changed, and the concatenation depends on
  # the fingerprint. compare_files of a file with itself fails, without a
  # word, only when the file cannot be read: that turns the script's one line
  # into a failed build, where a FATAL_ERROR would wrap it in CMake's banner.
  add_custom_target(${name}_archive_check
    COMMAND "${CMAKE_COMMAND}" -DKAMISHIBAI_APPEND_STEP=check ${step_arguments}
            "-DKAMISHIBAI_APPEND_FINGERPRINT=${fingerprint}" -P "${script}"
    COMMAND "${CMAKE_COMMAND}" -E compare_files "${archive}" "${archive}"
    BYPRODUCTS "${fingerprint}"
    COMMENT "Checking the archive for ${OUTPUT_NAME}"
    VERBATIM)

  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -DKAMISHIBAI_APPEND_STEP=append ${step_arguments}
            "-DKAMISHIBAI_APPEND_BARE=$<TARGET_FILE:${BARE_TARGET}>" "-DKAMISHIBAI_APPEND_OUTPUT=${output}"
            -P "${script}"
    DEPENDS ${BARE_TARGET} "${fingerprint}" "${script}"
    COMMENT "Appending ${archive} to ${OUTPUT_NAME}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS "${output}")
  add_dependencies(${name} ${name}_archive_check)
endfunction()

return()
endif()

# Build-time steps.

function(report_missing_archive)
  message(NOTICE "${KAMISHIBAI_APPEND_OUTPUT_NAME} needs the archive ${KAMISHIBAI_APPEND_ARCHIVE}, which is missing: "
                 "build the Linux preset first (cmake --build --preset linux writes build/linux/demo.brsc)")
endfunction()

if(KAMISHIBAI_APPEND_STEP STREQUAL "check")
  if(EXISTS "${KAMISHIBAI_APPEND_ARCHIVE}")
    file(SHA256 "${KAMISHIBAI_APPEND_ARCHIVE}" archive_hash)
    # Like configure_file, file(CONFIGURE) leaves an unchanged file alone.
    file(CONFIGURE OUTPUT "${KAMISHIBAI_APPEND_FINGERPRINT}" CONTENT "${archive_hash}\n")
  else()
    report_missing_archive()
  endif()
  return()
endif()

if(NOT KAMISHIBAI_APPEND_STEP STREQUAL "append")
  message(FATAL_ERROR "AppendArchive.cmake: unknown step \"${KAMISHIBAI_APPEND_STEP}\"")
endif()

# Reached only when the check target was skipped (a build of this one file).
if(NOT EXISTS "${KAMISHIBAI_APPEND_ARCHIVE}")
  report_missing_archive()
  message(FATAL_ERROR "archive missing")
endif()

cmake_path(GET KAMISHIBAI_APPEND_BARE PARENT_PATH bare_folder)
cmake_path(GET KAMISHIBAI_APPEND_OUTPUT PARENT_PATH output_folder)
cmake_path(COMPARE "${bare_folder}" EQUAL "${output_folder}" same_folder)
if(NOT same_folder)
  message(FATAL_ERROR "${KAMISHIBAI_APPEND_OUTPUT} would not be beside ${KAMISHIBAI_APPEND_BARE}: "
                      "set the bare target's output folder before calling kamishibai_append_archive")
endif()

# Written beside the output and renamed into place, so an interrupted build
# never leaves a cut-off file newer than its inputs.
set(partial "${KAMISHIBAI_APPEND_OUTPUT}.partial")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E cat "${KAMISHIBAI_APPEND_BARE}" "${KAMISHIBAI_APPEND_ARCHIVE}"
  OUTPUT_FILE "${partial}"
  RESULT_VARIABLE result)
file(SIZE "${KAMISHIBAI_APPEND_BARE}" bare_size)
file(SIZE "${KAMISHIBAI_APPEND_ARCHIVE}" archive_size)
file(SIZE "${partial}" written_size)
math(EXPR expected_size "${bare_size} + ${archive_size}")
if(NOT result EQUAL 0 OR NOT written_size EQUAL expected_size)
  file(REMOVE "${partial}")
  message(FATAL_ERROR "${KAMISHIBAI_APPEND_OUTPUT}: concatenation failed (${result}; ${written_size} of ${expected_size} bytes)")
endif()
# cat makes a plain data file; the result is a program like the bare one.
file(CHMOD "${partial}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
file(RENAME "${partial}" "${KAMISHIBAI_APPEND_OUTPUT}")
