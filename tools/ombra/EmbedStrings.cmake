# Writes the bytes of a string-resource file into a C++ source, so that the
# host carries its own texts as a module carries its resources.
#   cmake -DINPUT=ombra.strings -DOUTPUT=HostStringsData.cpp -P EmbedStrings.cmake
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
get_filename_component(name ${INPUT} NAME)
file(WRITE ${OUTPUT}
  "// Generated from ${name} by EmbedStrings.cmake.\n"
  "extern const unsigned char kOmbraHostStrings[] = {\n${bytes}0};\n"
  "extern const unsigned long kOmbraHostStringsSize = ${size};\n")
