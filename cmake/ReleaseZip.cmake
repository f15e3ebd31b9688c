# Packs the release zip (cmake -P) so that everyone who builds the same commit gets the same
# bytes: the entries in a fixed order, dated from the commit, with fixed permissions and
# without the owner or the build machine's access and change times that `cmake -E tar` stores.
# It runs at every build, not at configure time, so a new commit dates the zip without a new
# configure; the zip is only replaced when its bytes change.
# Input: STRIP, ZIP, PROGRAM, README, SOURCE_DIR, STAGE (the folder of the zip's files), OUT.

# SOURCE_DATE_EPOCH is how packagers ask for a date; without it, the last commit's.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    if(NOT epoch MATCHES "^[0-9]+$")
        message(FATAL_ERROR "SOURCE_DATE_EPOCH is \"${epoch}\", not a number of seconds")
    endif()
else()
    execute_process(COMMAND git -C "${SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE epoch ERROR_VARIABLE git_error RESULT_VARIABLE failed
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(failed OR NOT epoch MATCHES "^[0-9]+$")
        message(FATAL_ERROR "The release is dated from the last commit, which git could not "
                            "tell (${git_error}); set SOURCE_DATE_EPOCH to date it.")
    endif()
endif()

file(REMOVE "${STAGE}/Vantorel.exe" "${STAGE}/README.TXT")
# strip stamps the program anew, with the time it runs unless SOURCE_DATE_EPOCH says
# otherwise: with the commit's time, then.
set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
execute_process(COMMAND "${STRIP}" -o "${STAGE}/Vantorel.exe" "${PROGRAM}"
                COMMAND_ERROR_IS_FATAL ANY)
file(COPY_FILE "${README}" "${STAGE}/README.TXT")
# Not what the builder's umask left.
file(CHMOD "${STAGE}/Vantorel.exe" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(CHMOD "${STAGE}/README.TXT" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
execute_process(COMMAND touch -m -d "@${epoch}" "${STAGE}/Vantorel.exe" "${STAGE}/README.TXT"
                COMMAND_ERROR_IS_FATAL ANY)

# A zip entry keeps its date as local time: UTC, wherever it is built. -X leaves out the
# owner and the Unix times, which would be the build machine's.
set(ENV{TZ} UTC0)
file(REMOVE "${OUT}.new")
execute_process(COMMAND "${ZIP}" -q -X -9 "${OUT}.new" Vantorel.exe README.TXT
                WORKING_DIRECTORY "${STAGE}" COMMAND_ERROR_IS_FATAL ANY)
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")

get_filename_component(name "${OUT}" NAME)
get_filename_component(dir "${OUT}" DIRECTORY)
file(SHA256 "${OUT}" hash)
set(sums "${hash}  ${name}\n")
set(old "")
if(EXISTS "${dir}/SHA256SUMS")
    file(READ "${dir}/SHA256SUMS" old)
endif()
if(NOT old STREQUAL sums)
    file(WRITE "${dir}/SHA256SUMS" "${sums}")
endif()
