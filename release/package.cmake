# Writes the players' download: the two programs and README.txt in a zip
# whose bytes depend on the sources alone, never on when or where it was
# built: a fixed file order, every time taken from the last commit, and
# nothing of the builder's account.
#   cmake -D ZIP=... -D INSTALLER=... -D RESTORER=... -D README=... -D SOURCE_DIR=... -P package.cmake
#
# Info-ZIP's zip with -X stores a file's modification time alone. CMake's own
# archiver, which CPack uses too, also stores each file's access and
# change times and the builder's user ids, so no two builds would match.
find_program(ZIP_PROGRAM zip REQUIRED)
find_program(TOUCH_PROGRAM touch REQUIRED)
execute_process(COMMAND git -C "${SOURCE_DIR}" log -1 --format=%ct
                OUTPUT_VARIABLE epoch RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(failed OR NOT epoch MATCHES "^[0-9]+$")
  set(epoch 315532800)  # outside a git checkout: 1980-01-01, the earliest time a zip holds
endif()
set(ENV{TZ} UTC)  # a zip stores local times

get_filename_component(stage "${ZIP}.files" ABSOLUTE)
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
file(COPY "${INSTALLER}" "${RESTORER}" "${README}" DESTINATION "${stage}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
get_filename_component(installer "${INSTALLER}" NAME)
get_filename_component(restorer "${RESTORER}" NAME)
set(files "${installer}" "${restorer}" README.txt)
execute_process(COMMAND "${TOUCH_PROGRAM}" -d "@${epoch}" ${files} WORKING_DIRECTORY "${stage}")
file(REMOVE "${ZIP}")
execute_process(COMMAND "${ZIP_PROGRAM}" -X -D -q -9 "${ZIP}" ${files}
                WORKING_DIRECTORY "${stage}" RESULT_VARIABLE failed)
file(REMOVE_RECURSE "${stage}")
if(failed)
  message(FATAL_ERROR "could not write ${ZIP}")
endif()
file(SHA256 "${ZIP}" sum)
get_filename_component(name "${ZIP}" NAME)
message("SHA-256 ${sum}  ${name}")
