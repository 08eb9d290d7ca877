# The Windows release files from a Windows build, targets norvane_zip and norvane_msi
# (scripts/package.sh):
#   norvane-<version>-win32.zip  a folder of that name with the programs (stripped by the
#                                linker), README.txt, LICENSE.txt and licences/: the licences
#                                of the runtime linked into the programs
#   norvane-<version>.msi        the same files under Program Files, a Start-menu shortcut to
#                                the window program and an entry in the installed programs
# (win64 and -x64 for an x86_64 build). Every text file has Windows line ends. Both are the
# same bytes at every build of a commit: the files carry the build's time, the zip lists them
# in a fixed order without directory entries, owners or extra times (zip -X -D), and
# MakeMsi.cmake fixes what the installer's tool would take from the clock.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(zip_name norvane-${PROJECT_VERSION}-win64)
    set(msi_name norvane-${PROJECT_VERSION}-x64)
    set(msi_arch x64)
    set(program_files ProgramFiles64Folder)
    set(mingw_dev mingw-w64-x86-64-dev)
else()
    set(zip_name norvane-${PROJECT_VERSION}-win32)
    set(msi_name norvane-${PROJECT_VERSION})
    set(msi_arch x86)
    set(program_files ProgramFilesFolder)
    set(mingw_dev mingw-w64-i686-dev)
endif()

# The programs: the console program too, once the Windows build has it.
set(programs norvane)
if(TARGET norvane-console)
    list(APPEND programs norvane-console)
endif()

set(stage ${CMAKE_CURRENT_BINARY_DIR}/release/${zip_name})

# The runtime linked statically into every exe (mingw-w64's CRT and winpthreads, libgcc and
# libstdc++) carries its licences with it: Debian's copyright files of the packages that
# built it, and the GPL they refer to (libgcc and libstdc++ under its runtime exception).
set(licence_sources
    "${PROJECT_SOURCE_DIR}/LICENSE" LICENSE.txt
    "/usr/share/doc/${mingw_dev}/copyright" licences/mingw-w64-runtime.txt
    "/usr/share/doc/gcc-mingw-w64-base/copyright" licences/gcc-runtime.txt
    "/usr/share/common-licenses/GPL-3" licences/GPL-3.txt)
set(text_files README.txt)
while(licence_sources)
    list(POP_FRONT licence_sources source target)
    if(NOT EXISTS "${source}")
        message(FATAL_ERROR "${source} is missing: the Windows release carries it "
                            "(scripts/packages/windows.txt installs it)")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
    file(READ "${source}" text)
    string(REPLACE "\n" "\r\n" text "${text}")
    write_if_changed(${stage}/${target} "${text}")
    list(APPEND text_files ${target})
endwhile()

# README.txt, told of the console program where the build has it.
set(console_readme "")
if(TARGET norvane-console)
    # configure_file gives the template's own lines Windows line ends, not a value's.
    string(JOIN "\r\n" console_readme ""
        "norvane-console.exe does the same job in a console window, without a window of"
        "its own, for production lines and scripts (norvane-console.exe --help)."
        "")
endif()
configure_file(windows/README.txt.in ${stage}/README.txt @ONLY NEWLINE_STYLE CRLF)

# The programs are copied beside the texts, and every file is given the build's time
# (StageRelease.cmake): the zip and the installer's cabinet carry the files' times.
set(staged_programs)
set(copies)
foreach(program IN LISTS programs)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${program}>
         ${stage}/${program}.exe)
    list(APPEND staged_programs ${program}.exe)
endforeach()
# The order of the files in the zip and in the cabinet: the programs, then the texts.
set(release_files ${staged_programs} ${text_files})
list(TRANSFORM text_files PREPEND ${stage}/ OUTPUT_VARIABLE text_paths)
set(staged ${stage}.staged)
add_custom_command(OUTPUT ${staged}
    ${copies}
    COMMAND ${CMAKE_COMMAND} "-DFILES=${release_files}" -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/StageRelease.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${staged}
    WORKING_DIRECTORY ${stage}
    DEPENDS ${programs} ${text_paths} ${CMAKE_CURRENT_SOURCE_DIR}/windows/StageRelease.cmake
    COMMENT "Staging the Windows release files"
    VERBATIM)

set(zip ${CMAKE_CURRENT_BINARY_DIR}/${zip_name}.zip)
list(TRANSFORM release_files PREPEND ${zip_name}/ OUTPUT_VARIABLE zip_entries)
add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC0 zip -X -D -9 -q ${zip} ${zip_entries}
    WORKING_DIRECTORY ${stage}/..
    DEPENDS ${staged}
    COMMENT "Making ${zip_name}.zip"
    VERBATIM)
add_custom_target(norvane_zip DEPENDS ${zip})

# The installer's identities. The upgrade code names the product for ever; the product code
# is new with every version (so that a newer one replaces an older); each component's code
# comes from its path (Guid="*"); MakeMsi.cmake derives the package code from the files.
set(upgrade_code 7D3B2C61-0E4A-4F8B-9A52-3C1E6F0B8D47)
string(UUID product_code NAMESPACE ${upgrade_code} NAME "Norvane ${PROJECT_VERSION} ${msi_arch}"
       TYPE SHA1 UPPER)
# The contact in the installed programs' list is the packages' maintainer (debian/control).
file(STRINGS ${PROJECT_SOURCE_DIR}/debian/control maintainer REGEX "^Maintainer: ")
string(REGEX REPLACE "^Maintainer: " "" maintainer "${maintainer}")
string(REPLACE "<" "&lt;" maintainer "${maintainer}")
string(REPLACE ">" "&gt;" maintainer "${maintainer}")
set(console_component "")
set(console_component_ref "")
if(TARGET norvane-console)
    set(console_component
        "<Component Id=\"ConsoleProgram\" Guid=\"*\"><File Id=\"norvane_console.exe\" Source=\"norvane-console.exe\" KeyPath=\"yes\"/></Component>")
    set(console_component_ref "<ComponentRef Id=\"ConsoleProgram\"/>")
endif()
# wixl looks for a file in the working directory (the release's files) and beside the .wxs,
# never by an absolute path: the icon goes beside it.
set(wxs ${CMAKE_CURRENT_BINARY_DIR}/${msi_name}.wxs)
set(icon ${CMAKE_CURRENT_BINARY_DIR}/norvane.ico)
configure_file(windows/norvane.wxs.in ${wxs} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/res/norvane.ico ${icon} COPYONLY)

set(msi ${CMAKE_CURRENT_BINARY_DIR}/${msi_name}.msi)
add_custom_command(OUTPUT ${msi}
    COMMAND ${CMAKE_COMMAND} "-DMSI=${msi}" "-DWXS=${wxs}" -DARCH=${msi_arch}
            -DPRODUCT_CODE=${product_code}
            "-DFILES=${release_files}" -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/MakeMsi.cmake
    WORKING_DIRECTORY ${stage}
    DEPENDS ${staged} ${wxs} ${icon} ${CMAKE_CURRENT_SOURCE_DIR}/windows/MakeMsi.cmake
    COMMENT "Making ${msi_name}.msi"
    VERBATIM)
add_custom_target(norvane_msi DEPENDS ${msi})
