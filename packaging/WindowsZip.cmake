# The Windows zip, target norvane_zip (scripts/package.sh): norvane-<version>-win32.zip (win64
# for an x86_64 build) holding a folder of that name with norvane.exe (stripped by the linker)
# and a README.txt with Windows line ends. MakeZip.cmake makes it the same bytes at every build.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(zip_name norvane-${PROJECT_VERSION}-win64)
else()
    set(zip_name norvane-${PROJECT_VERSION}-win32)
endif()
set(stage ${CMAKE_CURRENT_BINARY_DIR}/zip)
set(zip ${CMAKE_CURRENT_BINARY_DIR}/${zip_name}.zip)
configure_file(README-windows.txt.in ${stage}/${zip_name}/README.txt @ONLY NEWLINE_STYLE CRLF)

add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:norvane> ${stage}/${zip_name}/norvane.exe
    COMMAND ${CMAKE_COMMAND} -DZIP=${zip} -DFOLDER=${zip_name}
            -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -P ${CMAKE_CURRENT_SOURCE_DIR}/MakeZip.cmake
    WORKING_DIRECTORY ${stage}
    DEPENDS norvane ${stage}/${zip_name}/README.txt ${CMAKE_CURRENT_SOURCE_DIR}/MakeZip.cmake
    COMMENT "Making ${zip_name}.zip"
    VERBATIM)
add_custom_target(norvane_zip DEPENDS ${zip})
