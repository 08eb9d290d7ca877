# Writes the program's version information resource (type VERSION, id 1): the project's
# version, the build's identity (git describe and the build's day) and the copyright,
# one "Name=Value" per line. Run at every build; the file is rewritten only when it changes,
# so an unchanged identity relinks nothing.
#   cmake -DOUTPUT=<file> -DVERSION=<x.y.z> -DSOURCE_DIR=<repo> -DCOPYRIGHT=<text> -P VersionInfo.cmake
include(${CMAKE_CURRENT_LIST_DIR}/BuildIdentity.cmake)
build_identity(identity)

set(content "# Norvane version information, generated at build time.
ProductName=Norvane
CompanyName=Halvio
ProductVersion=${VERSION}
FileVersion=${VERSION}
PrivateBuild=${identity}
LegalCopyright=${COPYRIGHT}
")
write_if_changed(${OUTPUT} "${content}")
