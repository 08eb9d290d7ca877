# Shared by the version-information scripts and the packaging: the build's identity and time,
# and how a generated file is written.
#   build_identity(<var>)            "<git describe --tags --always --dirty> <YYYY-MM-DD>"
#   build_epoch(<var>)               the build's time in seconds since 1970 (below)
#   write_if_changed(<file> <text>)  rewrites the file only when its text changes, so an
#                                    unchanged identity rebuilds nothing
#
# The build's time is SOURCE_DATE_EPOCH when that is set, else the commit's time, so that two
# builds of one commit are byte for byte the same; a tree with uncommitted changes is no
# commit's, and takes the present time.
function(build_epoch out)
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        set(${out} "$ENV{SOURCE_DATE_EPOCH}" PARENT_SCOPE)
        return()
    endif()
    string(TIMESTAMP now "%s")
    set(epoch "${now}")
    find_program(GIT_EXECUTABLE git)
    if(GIT_EXECUTABLE)
        execute_process(
            COMMAND ${GIT_EXECUTABLE} status --porcelain --untracked-files=no
            WORKING_DIRECTORY ${SOURCE_DIR}
            OUTPUT_VARIABLE changes
            RESULT_VARIABLE status_result
            ERROR_QUIET)
        execute_process(
            COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
            WORKING_DIRECTORY ${SOURCE_DIR}
            OUTPUT_VARIABLE commit_time
            OUTPUT_STRIP_TRAILING_WHITESPACE
            RESULT_VARIABLE log_result
            ERROR_QUIET)
        if(status_result EQUAL 0 AND changes STREQUAL "" AND log_result EQUAL 0
           AND commit_time MATCHES "^[0-9]+$")
            set(epoch "${commit_time}")
        endif()
    endif()
    set(${out} "${epoch}" PARENT_SCOPE)
endfunction()

# format_epoch(<var> <seconds> <format>): string(TIMESTAMP) of a given time, in UTC.
function(format_epoch out seconds format)
    set(saved "$ENV{SOURCE_DATE_EPOCH}")
    set(had_saved FALSE)
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        set(had_saved TRUE)
    endif()
    # string(TIMESTAMP) reads the time to show from SOURCE_DATE_EPOCH when it is set.
    set(ENV{SOURCE_DATE_EPOCH} "${seconds}")
    string(TIMESTAMP text "${format}" UTC)
    if(had_saved)
        set(ENV{SOURCE_DATE_EPOCH} "${saved}")
    else()
        unset(ENV{SOURCE_DATE_EPOCH})
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(build_identity out)
    set(describe "")
    find_program(GIT_EXECUTABLE git)
    if(GIT_EXECUTABLE)
        execute_process(
            COMMAND ${GIT_EXECUTABLE} describe --tags --always --dirty
            WORKING_DIRECTORY ${SOURCE_DIR}
            OUTPUT_VARIABLE describe
            OUTPUT_STRIP_TRAILING_WHITESPACE
            ERROR_QUIET
            RESULT_VARIABLE git_result)
        if(NOT git_result EQUAL 0)
            set(describe "")
        endif()
    endif()
    if(describe STREQUAL "")
        set(describe "unknown")
    endif()
    build_epoch(epoch)
    format_epoch(day ${epoch} "%Y-%m-%d")
    set(${out} "${describe} ${day}" PARENT_SCOPE)
endfunction()

function(write_if_changed file content)
    set(old "")
    if(EXISTS ${file})
        file(READ ${file} old)
    endif()
    if(NOT old STREQUAL content)
        file(WRITE ${file} "${content}")
    endif()
endfunction()
