# Writes a C++ file that holds every file of ASSET_DIR as a byte array, looked
# up by file name through korimba::web::EmbeddedAsset (or the function named
# by FUNCTION, so that one program can hold several such sets).
if(NOT DEFINED FUNCTION)
  set(FUNCTION EmbeddedAsset)
endif()
file(GLOB files RELATIVE ${ASSET_DIR} ${ASSET_DIR}/*)
list(SORT files)
set(body "")
set(table "")
set(index 0)
foreach(name IN LISTS files)
  file(READ ${ASSET_DIR}/${name} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "const unsigned char kAsset${index}[] = {${bytes} 0};\n")
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(APPEND table "    {\"${name}\", std::string_view(reinterpret_cast<const char*>(kAsset${index}), ${size})},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from ${ASSET_DIR} by embed_assets.cmake; do not edit.
#include <string_view>
#include <utility>
#include <optional>
#include <span>

namespace korimba::web {
namespace {
${body}
const std::pair<std::string_view, std::string_view> kAssets[] = {
${table}};
}  // namespace

std::span<const std::pair<std::string_view, std::string_view>> ${FUNCTION}s() { return kAssets; }

std::optional<std::string_view> ${FUNCTION}(std::string_view name) {
  for (const auto& [asset_name, content] : kAssets) {
    if (asset_name == name) return content;
  }
  return std::nullopt;
}

}  // namespace korimba::web
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
