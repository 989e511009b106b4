# Writes a .res file as C++ source exporting it as the host library's resources.
# cmake -DINPUT=<file.res> -DOUTPUT=<file.cpp> -P embed.cmake
file(READ ${INPUT} bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
file(WRITE ${OUTPUT} "#include <cstddef>\nextern \"C\" const unsigned char qxHostResources[] = {${bytes}};\nextern \"C\" const size_t qxHostResourcesSize = sizeof qxHostResources;\n")
