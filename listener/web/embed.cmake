# Writes OUTPUT: a C++ source that holds the web page's files (those of DIR
# but this script) as they are, so that Quillon carries its page wherever it is
# installed. Run by the build whenever one of the files changes.
set(out "// Made from listener/web/ by embed.cmake at build time; edit those files.\n")
string(APPEND out "#include \"listener/http/web_page.h\"\n\nnamespace tavrel::http {\n\n")
string(APPEND out "std::span<const WebFile> WebFiles() {\n  static constexpr WebFile kFiles[] = {\n")
file(GLOB files RELATIVE "${DIR}" "${DIR}/*.html" "${DIR}/*.css" "${DIR}/*.js" "${DIR}/*.svg")
foreach(name IN LISTS files)
  file(READ "${DIR}/${name}" body)
  string(FIND "${body}" ")web\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${name} holds the text )web\" that ends the literal")
  endif()
  string(APPEND out "      {\"${name}\", R\"web(${body})web\"},\n")
endforeach()
string(APPEND out "  };\n  return kFiles;\n}\n\n}  // namespace tavrel::http\n")
file(WRITE "${OUTPUT}.new" "${out}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
