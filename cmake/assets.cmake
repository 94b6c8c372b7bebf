# The ten pictures lie back to back in the executable's initialised data, in this order.
set(VORLUNE_ASSET_FILES)
foreach(n RANGE 1 9)
  list(APPEND VORLUNE_ASSET_FILES ${CMAKE_SOURCE_DIR}/app/assets/sprite${n}.png)
endforeach()
list(APPEND VORLUNE_ASSET_FILES ${CMAKE_SOURCE_DIR}/app/assets/preview.png)
# Until the pictures exist, an empty array keeps the build going.
set(present)
foreach(f IN LISTS VORLUNE_ASSET_FILES)
  if(EXISTS ${f})
    list(APPEND present ${f})
  endif()
endforeach()
if(NOT present STREQUAL VORLUNE_ASSET_FILES)
  set(VORLUNE_ASSET_FILES)
endif()
set(embedded ${CMAKE_BINARY_DIR}/generated/embedded_images.cpp)
# A list would reach the shell split at its semicolons; "|" separates the paths instead.
string(REPLACE ";" "|" asset_paths "${VORLUNE_ASSET_FILES}")
add_custom_command(OUTPUT ${embedded}
  COMMAND ${CMAKE_COMMAND} -DOUT=${embedded} "-DFILES=${asset_paths}" -P ${CMAKE_SOURCE_DIR}/cmake/embed.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/embed.cmake ${VORLUNE_ASSET_FILES}
  COMMENT "Embedding the pictures" VERBATIM)
set(VORLUNE_ASSET_SOURCES ${embedded})
