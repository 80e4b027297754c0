# cmake -DICON_DIR=... -DSIZES="16;32;..." -DHEADER=dir/app_icon_data.h -DOUTPUT=file.cpp -P embed_icons.cmake
# Writes the icon PNGs ICON_DIR/ivra-<size>.png into a C++ source as byte
# arrays, so the program shows the same artwork as the desktop's icon theme
# without looking for files at run time.
set(body "// Generated from ${ICON_DIR}/ivra-*.png by cmake/embed_icons.cmake; do not edit.\n")
string(APPEND body "#include \"${HEADER}\"\n\nnamespace {\n")
set(table "")
foreach(size IN LISTS SIZES)
  file(READ "${ICON_DIR}/ivra-${size}.png" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  string(APPEND body "const unsigned char kPng${size}[] = {\n${bytes}};\n")
  string(APPEND table "    {${size}, kPng${size}, sizeof kPng${size}},\n")
endforeach()
list(LENGTH SIZES count)
string(APPEND body "}  // namespace\n\nconst AppIconPng kAppIconPngs[] = {\n${table}};\n")
string(APPEND body "const std::size_t kAppIconPngCount = ${count};\n")
# Rewrite only on change, so an unchanged icon does not rebuild the program.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL body)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${body}")
