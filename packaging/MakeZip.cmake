# Zips the folder FOLDER (README.txt, norvane.exe) of the working directory into ZIP, the same
# bytes at every build: the files in a fixed order with the build's time (BuildIdentity.cmake)
# and fixed modes, no directory entries and no owner or extra time fields (zip -X), the time
# read in UTC.
#   cmake -DZIP=<file.zip> -DFOLDER=<name> -DSOURCE_DIR=<repo> -P MakeZip.cmake
include(${SOURCE_DIR}/res/BuildIdentity.cmake)
build_epoch(epoch)

set(files ${FOLDER}/README.txt ${FOLDER}/norvane.exe)
file(REMOVE ${ZIP})
foreach(command
        "chmod;0644;${files}"
        "touch;-d;@${epoch};${files}"
        "${CMAKE_COMMAND};-E;env;TZ=UTC0;zip;-X;-D;-9;-q;${ZIP};${files}")
    execute_process(COMMAND ${command} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        list(JOIN command " " text)
        message(FATAL_ERROR "MakeZip: `${text}` failed")
    endif()
endforeach()
