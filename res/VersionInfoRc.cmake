# Writes the values of the Windows program's VERSIONINFO block (res/version.rc) as a header for
# the resource compiler: the project's version, the build's identity (git describe and the day
# of the build) and the copyright. Run at every build; the file is rewritten only when it
# changes.
#   cmake -DOUTPUT=<file> -DVERSION=<x.y.z> -DSOURCE_DIR=<repo> -DCOPYRIGHT=<text> -P VersionInfoRc.cmake
include(${CMAKE_CURRENT_LIST_DIR}/BuildIdentity.cmake)
build_identity(identity)

string(REPLACE "." ";" parts "${VERSION}")
list(APPEND parts 0 0 0 0)
list(SUBLIST parts 0 4 parts)
list(JOIN parts "," numbers)
# Inside an .rc string a quote is written twice.
string(REPLACE "\"" "\"\"" copyright "${COPYRIGHT}")

set(content "// Generated at build time by res/VersionInfoRc.cmake.
#define NORVANE_VERSION_NUMBERS ${numbers}
#define NORVANE_VERSION_TEXT \"${VERSION}\"
#define NORVANE_PRIVATE_BUILD \"${identity}\"
#define NORVANE_COPYRIGHT \"${copyright}\"
")
write_if_changed(${OUTPUT} "${content}")
