# Extra test tiers that live in their own folders.
include(${CMAKE_CURRENT_SOURCE_DIR}/wine/wine.cmake OPTIONAL)

# Fixtures of the PE reader's tests: the same resource script compiled by the MinGW-w64
# tools into a PE32+ library, a PE32 library and a .res file, and into a host library
# that carries the .res blob, so the reader is checked against files it did not write.
find_program(QX_WINDRES64 x86_64-w64-mingw32-windres REQUIRED)
find_program(QX_WINDRES32 i686-w64-mingw32-windres REQUIRED)
find_program(QX_MINGW_CC64 x86_64-w64-mingw32-gcc REQUIRED)
find_program(QX_MINGW_CC32 i686-w64-mingw32-gcc REQUIRED)

include(${CMAKE_CURRENT_SOURCE_DIR}/dialogs/dialogs.cmake)

set(pe_src ${CMAKE_CURRENT_SOURCE_DIR}/pe)
set(pe_out ${CMAKE_BINARY_DIR}/pe)
file(MAKE_DIRECTORY ${pe_out})
set(pe_inputs ${pe_src}/fixture.rc ${pe_src}/mbdata.bin ${pe_src}/entry.c)

add_custom_command(OUTPUT ${pe_out}/fixture64.dll
  COMMAND ${QX_WINDRES64} -I${pe_src} ${pe_src}/fixture.rc -O coff -o ${pe_out}/fixture64.o
  COMMAND ${QX_MINGW_CC64} -shared -nostdlib -o ${pe_out}/fixture64.dll ${pe_src}/entry.c
          ${pe_out}/fixture64.o
  DEPENDS ${pe_inputs} VERBATIM)
add_custom_command(OUTPUT ${pe_out}/fixture32.dll
  COMMAND ${QX_WINDRES32} -I${pe_src} ${pe_src}/fixture.rc -O coff -o ${pe_out}/fixture32.o
  COMMAND ${QX_MINGW_CC32} -shared -nostdlib -Wl,-e,_DllMainCRTStartup@12
          -o ${pe_out}/fixture32.dll ${pe_src}/entry.c ${pe_out}/fixture32.o
  DEPENDS ${pe_inputs} VERBATIM)
add_custom_command(OUTPUT ${pe_out}/fixture.res ${pe_out}/fixture_res.cpp
  COMMAND ${QX_WINDRES64} -I${pe_src} ${pe_src}/fixture.rc -O res -o ${pe_out}/fixture.res
  COMMAND ${CMAKE_COMMAND} -DINPUT=${pe_out}/fixture.res -DOUTPUT=${pe_out}/fixture_res.cpp
          -P ${pe_src}/embed.cmake
  DEPENDS ${pe_inputs} ${pe_src}/embed.cmake VERBATIM)
add_custom_target(pe_fixtures DEPENDS ${pe_out}/fixture64.dll ${pe_out}/fixture32.dll
  ${pe_out}/fixture.res)

add_library(pefixturehost MODULE ${pe_src}/hostlib.cpp ${pe_out}/fixture_res.cpp)
target_link_libraries(pefixturehost PRIVATE winapi)
set_target_properties(pefixturehost PROPERTIES PREFIX "" SUFFIX ".dll"
  LIBRARY_OUTPUT_DIRECTORY ${pe_out})

if(TARGET pe_resources_test)
  add_dependencies(pe_resources_test pe_fixtures pefixturehost)
  target_compile_definitions(pe_resources_test PRIVATE QX_PE_DIR="${pe_out}")
endif()
if(TARGET startup_test)
  add_dependencies(startup_test pefixturehost)
  target_compile_definitions(startup_test PRIVATE QX_PE_DIR="${pe_out}")
endif()
if(TARGET registry_test)
  add_dependencies(registry_test qxreg)
endif()

# The typist's tests link the key-script library; the runner's tests run the built
# runner over the built module and data libraries.
if(TARGET keyscript_test AND TARGET keyscript)
  target_link_libraries(keyscript_test PRIVATE keyscript)
endif()
if(TARGET qxhost_test AND TARGET qxhost)
  add_dependencies(qxhost_test qxhost)
endif()

# The data-library tests check the built tables against the dictionaries they come from.
if(TARGET data_libraries_test)
  target_compile_definitions(data_libraries_test PRIVATE QX_PINYIN_DICT="${QX_PINYIN_DICT}"
    QX_WUBI_DICT="${QX_WUBI_DICT}")
endif()
if(TARGET mkdata_test)
  target_compile_definitions(mkdata_test PRIVATE QX_PINYIN_DICT="${QX_PINYIN_DICT}"
    QX_WUBI_DICT="${QX_WUBI_DICT}" QX_UNIHAN_DICTIONARY="${QX_UNIHAN_DICTIONARY}"
    QX_UNIHAN_READINGS="${QX_UNIHAN_READINGS}")
  add_dependencies(mkdata_test mkdata)
endif()
if(TARGET public_addresses_test)
  target_compile_definitions(public_addresses_test PRIVATE QX_PINYIN_DICT="${QX_PINYIN_DICT}")
  add_dependencies(public_addresses_test qxdata)
endif()
if(TARGET keycost_test)
  target_compile_definitions(keycost_test PRIVATE QX_TABLE_DIR="${CMAKE_BINARY_DIR}/data/tables")
  add_dependencies(keycost_test keycost qxhost qxdata)
endif()
# The sentence model's tests run mkdata and read the pylm.dat the data build writes.
if(TARGET languagemodel_test)
  add_dependencies(languagemodel_test mkdata qxdata)
endif()
if(TARGET pinyinwords_test)
  add_dependencies(pinyinwords_test mkdata qxdata)
endif()

# The many-writers run starts programs that host the built module through qxhost's
# session and change the user files by keys.
if(TARGET hostsession)
  add_executable(manywriters_worker ${CMAKE_CURRENT_SOURCE_DIR}/writer/manywriters_worker.cpp)
  target_compile_options(manywriters_worker PRIVATE ${QX_WARNINGS})
  target_link_libraries(manywriters_worker PRIVATE hostsession)
  add_dependencies(manywriters_worker qx qxdata)
  if(TARGET multiwriter_test)
    add_dependencies(multiwriter_test manywriters_worker)
  endif()
  if(TARGET twoprograms_test)
    target_link_libraries(twoprograms_test PRIVATE hostsession)
    add_dependencies(twoprograms_test qx qxdata)
  endif()
endif()
