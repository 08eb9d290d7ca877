# Writes the program's version information resource (type VERSION, id 1): the project's
# version, the build's identity (git describe and the day of the build) and the copyright,
# one "Name=Value" per line. Run at every build; the file is rewritten only when it changes,
# so an unchanged identity relinks nothing.
#   cmake -DOUTPUT=<file> -DVERSION=<x.y.z> -DSOURCE_DIR=<repo> -DCOPYRIGHT=<text> -P VersionInfo.cmake
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

set(content "# Norvane version information, generated at build time.
ProductName=Norvane
CompanyName=Halvio
ProductVersion=${VERSION}
FileVersion=${VERSION}
PrivateBuild=${describe} ${day}
LegalCopyright=${COPYRIGHT}
")
set(old "")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL content)
    file(WRITE ${OUTPUT} "${content}")
endif()
