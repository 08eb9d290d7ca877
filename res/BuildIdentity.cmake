# Shared by the version-information scripts: the build's identity and how the generated file
# is written.
#   build_identity(<var>)            "<git describe --tags --always --dirty> <YYYY-MM-DD>"
#   write_if_changed(<file> <text>)  rewrites the file only when its text changes, so an
#                                    unchanged identity rebuilds nothing
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
    string(TIMESTAMP day "%Y-%m-%d" UTC)
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
