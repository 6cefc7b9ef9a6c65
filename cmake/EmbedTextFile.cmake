# Run with cmake -P: writes a C++ header that holds the bytes of one text file as a char array
# (an initialiser list, free of every compiler's limit on string literals), null-terminated.
#   -DINPUT=<file> -DOUTPUT=<header> -DSYMBOL=<name of the array>
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" hexLength)
math(EXPR byteCount "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
# Twenty bytes a line, so that the header stays readable in a diff.
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){20})" "\\1\n    " bytes "${bytes}")
get_filename_component(inputName "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
     "// Made by the build from ${inputName}; edit that file, not this one.\n"
     "#pragma once\n\n"
     "inline constexpr char ${SYMBOL}[${byteCount} + 1] = {\n    ${bytes}0x00};\n")
configure_file("${OUTPUT}.tmp" "${OUTPUT}" COPYONLY)
file(REMOVE "${OUTPUT}.tmp")
