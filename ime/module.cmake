# The module qx.ime: the same objects as the host tests, as a shared library named as
# the Input Method Manager expects. The resources come from resources/resources.cmake:
# the .rc on Windows, a generated source holding the compiled resources on the host.
include(${CMAKE_CURRENT_SOURCE_DIR}/resources/resources.cmake OPTIONAL)

add_library(qx SHARED $<TARGET_OBJECTS:qxime_objects> ${QX_RESOURCE_SOURCES})
target_include_directories(qx PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
set_target_properties(qx PROPERTIES
  OUTPUT_NAME qx
  PREFIX ""
  SUFFIX ".ime"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

if(QX_WINDOWS)
  # The manager finds the exports by their plain names on both targets.
  target_sources(qx PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/frontend/qx.def)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(qx PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
  endif()
  target_link_libraries(qx PRIVATE imm32 user32 gdi32 comctl32 advapi32 shell32)
else()
  # Only the exports leave the module, as on Windows: everything is compiled hidden and
  # qx.map names the exports of qx.def and the engine data the host runner reads.
  set(qx_export_map ${CMAKE_CURRENT_SOURCE_DIR}/frontend/qx.map)
  target_link_options(qx PRIVATE LINKER:--version-script=${qx_export_map})
  set_target_properties(qx PROPERTIES LINK_DEPENDS ${qx_export_map})
  target_link_libraries(qx PRIVATE winapi)
endif()
