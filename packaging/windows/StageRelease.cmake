# Gives the Windows release files in the working directory fixed modes and the build's time
# (BuildIdentity.cmake), which the zip and the installer's cabinet record for each file.
#   cmake -DFILES=<file;...> -DSOURCE_DIR=<repo> -P StageRelease.cmake
include(${SOURCE_DIR}/res/BuildIdentity.cmake)
build_epoch(epoch)
foreach(command "chmod;0644;${FILES}" "touch;-d;@${epoch};${FILES}")
    execute_process(COMMAND ${command} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        list(JOIN command " " text)
        message(FATAL_ERROR "StageRelease: `${text}` failed")
    endif()
endforeach()
