# cmake -DOUTPUT=<file.cpp> "-DINPUTS=<a.png;b.png;...>" -P EmbedFiles.cmake
# Writes a C++ source holding each input's bytes and its file name.
set(body "// Generated at build time from resources/img; do not edit.\n#include \"EmbeddedFiles.h\"\n\nnamespace morvanta {\nnamespace {\n")
set(entries "")
set(n 0)
foreach(path IN LISTS INPUTS)
  get_filename_component(name "${path}" NAME)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Line breaks every 32 bytes keep the generated file readable by tools.
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" bytes "${bytes}")
  string(APPEND body "const unsigned char kFile${n}[] = {\n${bytes}0};\n")
  string(APPEND entries "    {\"${name}\", kFile${n}, ${size}},\n")
  math(EXPR n "${n} + 1")
endforeach()
string(APPEND body "}  // namespace\n\nconst EmbeddedFile kEmbeddedFiles[] = {\n${entries}    {nullptr, nullptr, 0},\n};\n\n}  // namespace morvanta\n")
file(WRITE "${OUTPUT}" "${body}")
