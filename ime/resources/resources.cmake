# The module's resources, written once in qx.rc with bitmaps that tools/bmpgen draws at
# build time. Windows builds compile qx.rc into the module with windres; the host build
# compiles the same file to a .res blob and carries it as an array (qxHostResources) that
# the module describes, with its entry point, to the stand-in's loader, so both find the
# same resources.
set(QX_RC_FILE ${CMAKE_CURRENT_LIST_DIR}/qx.rc)
set(QX_RC_HEADER ${CMAKE_CURRENT_LIST_DIR}/resource.h)
set(QX_BITMAP_DIR ${CMAKE_BINARY_DIR}/resources/bitmaps)
set(QX_BITMAPS)
foreach(id 102 103 104 105 106 107 204 220 232 242 245 222 234 237 214)
  list(APPEND QX_BITMAPS ${QX_BITMAP_DIR}/${id}.bmp)
endforeach()

if(QX_HOST)
  # bmpgen is defined later (tools/); target names resolve when the build is generated.
  set(qx_bmpgen bmpgen)
else()
  set(QX_BMPGEN "${CMAKE_SOURCE_DIR}/build/host/bin/bmpgen" CACHE FILEPATH
      "Host bitmap generator used by cross builds")
  if(NOT EXISTS "${QX_BMPGEN}")
    message(FATAL_ERROR "QX_BMPGEN: ${QX_BMPGEN} not found. Build the host preset first "
      "(cmake --preset host && cmake --build --preset host) or set QX_BMPGEN to the tool.")
  endif()
  set(qx_bmpgen ${QX_BMPGEN})
endif()

add_custom_command(OUTPUT ${QX_BITMAPS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QX_BITMAP_DIR}
  COMMAND ${qx_bmpgen} ${QX_BITMAP_DIR}
  DEPENDS ${qx_bmpgen} ${CMAKE_SOURCE_DIR}/tools/bmpgen/bmpgen.cpp
  COMMENT "Drawing the module's bitmaps"
  VERBATIM)

if(QX_HOST)
  find_program(QX_WINDRES NAMES x86_64-w64-mingw32-windres i686-w64-mingw32-windres windres
               REQUIRED)
  set(QX_RES_FILE ${CMAKE_BINARY_DIR}/resources/qx.res)
  set(qx_resource_cpp ${CMAKE_BINARY_DIR}/resources/qx_resources.cpp)
  add_custom_command(OUTPUT ${QX_RES_FILE}
    COMMAND ${QX_WINDRES} -I ${QX_BITMAP_DIR} -O res ${QX_RC_FILE} ${QX_RES_FILE}
    DEPENDS ${QX_RC_FILE} ${QX_RC_HEADER} ${QX_BITMAPS}
    COMMENT "Compiling qx.rc for the host module"
    VERBATIM)
  add_custom_command(OUTPUT ${qx_resource_cpp}
    COMMAND resblob ${QX_RES_FILE} ${qx_resource_cpp} DllMain
    DEPENDS resblob ${QX_RES_FILE}
    VERBATIM)
  # The array goes into the module's objects, so the host module and the tests that
  # link those objects (and attach the array with winapiAttachResources) both have it.
  target_sources(qxime_objects PRIVATE ${qx_resource_cpp})
  set(QX_RESOURCE_SOURCES)
else()
  enable_language(RC)
  set_source_files_properties(${QX_RC_FILE} PROPERTIES
    OBJECT_DEPENDS "${QX_BITMAPS};${QX_RC_HEADER}"
    INCLUDE_DIRECTORIES ${QX_BITMAP_DIR})
  set(QX_RESOURCE_SOURCES ${QX_RC_FILE})
endif()
