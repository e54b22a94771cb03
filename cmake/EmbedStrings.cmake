# Writes the bytes of a string-resource file into a C++ source, so that a
# program or library carries its texts as a module carries its resources.
#   cmake -DINPUT=messages.strings -DOUTPUT=Strings.cpp -DSYMBOL=kName -P EmbedStrings.cmake
# defines kName (the bytes, NUL-terminated) and kNameSize.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
get_filename_component(name ${INPUT} NAME)
file(WRITE ${OUTPUT}
  "// Generated from ${name} by EmbedStrings.cmake.\n"
  "extern const unsigned char ${SYMBOL}[];\n"
  "extern const unsigned long ${SYMBOL}Size;\n"
  "const unsigned char ${SYMBOL}[] = {\n${bytes}0};\n"
  "const unsigned long ${SYMBOL}Size = ${size};\n")
