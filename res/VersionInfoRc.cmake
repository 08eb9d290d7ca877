# Writes the values of the Windows program's VERSIONINFO block (res/version.rc) as a header for
# the resource compiler: the project's version, the build's identity (git describe and the day
# of the build) and the copyright. Run at every build; the file is rewritten only when it
# changes.
#   cmake -DOUTPUT=<file> -DVERSION=<x.y.z> -DSOURCE_DIR=<repo> -DCOPYRIGHT=<text> -P VersionInfoRc.cmake
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

string(REPLACE "." ";" parts "${VERSION}")
list(APPEND parts 0 0 0 0)
list(SUBLIST parts 0 4 parts)
list(JOIN parts "," numbers)
# Inside an .rc string a quote is written twice.
string(REPLACE "\"" "\"\"" copyright "${COPYRIGHT}")

set(content "// Generated at build time by res/VersionInfoRc.cmake.
#define NORVANE_VERSION_NUMBERS ${numbers}
#define NORVANE_VERSION_TEXT \"${VERSION}\"
#define NORVANE_PRIVATE_BUILD \"${describe} ${day}\"
#define NORVANE_COPYRIGHT \"${copyright}\"
")
set(old "")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL content)
    file(WRITE ${OUTPUT} "${content}")
endif()
