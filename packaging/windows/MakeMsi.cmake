# Makes the Windows installer with wixl from WXS, in the working directory that holds the
# release's FILES, the same bytes at every build. wixl takes the summary's times from the
# clock and draws the package code at random: it runs on a clock stopped at the build's time
# (faketime; BuildIdentity.cmake), and msibuild then sets a package code derived from what the
# installer holds, so that a different installer always has a different one.
#   cmake -DMSI=<file.msi> -DWXS=<file.wxs> -DARCH=<x86|x64> -DPRODUCT_CODE=<uuid>
#         -DFILES=<file;...> -DSOURCE_DIR=<repo> -P MakeMsi.cmake
include(${SOURCE_DIR}/res/BuildIdentity.cmake)
build_epoch(epoch)
format_epoch(clock ${epoch} "%Y-%m-%d %H:%M:%S")

# Each command's arguments are written out whole: a list would split the template "Intel;1033".
macro(check what)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "MakeMsi: ${what} failed")
    endif()
endmacro()

file(SHA256 ${WXS} identity)
foreach(file IN LISTS FILES)
    file(SHA256 ${file} sum)
    string(APPEND identity " ${file}=${sum}")
endforeach()
string(UUID package_code NAMESPACE ${PRODUCT_CODE} NAME "${identity}" TYPE SHA1 UPPER)

file(REMOVE ${MSI})
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC0 faketime -f "${clock}"
                        wixl -a ${ARCH} -o ${MSI} ${WXS}
                RESULT_VARIABLE result)
check(wixl)
# msibuild -s sets the summary's subject, author, template and package code together: the
# first three as wixl wrote them.
execute_process(COMMAND msiinfo suminfo ${MSI} RESULT_VARIABLE result OUTPUT_VARIABLE summary)
check("msiinfo suminfo")
foreach(field Subject Author Template)
    string(REGEX MATCH "\n${field}: ([^\n]*)" line "\n${summary}")
    set(${field} "${CMAKE_MATCH_1}")
endforeach()
execute_process(COMMAND msibuild ${MSI} -s "${Subject}" "${Author}" "${Template}"
                        "{${package_code}}"
                RESULT_VARIABLE result)
check(msibuild)
