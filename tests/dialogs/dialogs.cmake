# The dialog manager's test fixtures and its layout printer (included by tests/extra.cmake).
# The fixture dialogs are compiled by the MinGW resource compiler as the module's are
# (the picture is one the module's bitmap tool draws).
set(dialog_res ${CMAKE_BINARY_DIR}/dialogs/dialogs.res)
add_custom_command(OUTPUT ${dialog_res}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/dialogs
  COMMAND ${QX_WINDRES64} -I ${CMAKE_BINARY_DIR}/resources/bitmaps -O res
          ${CMAKE_CURRENT_SOURCE_DIR}/dialogs/dialogs.rc ${dialog_res}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/dialogs/dialogs.rc ${CMAKE_BINARY_DIR}/resources/bitmaps/222.bmp
  VERBATIM)
add_custom_target(dialog_fixtures DEPENDS ${dialog_res})
add_dependencies(dialog_fixtures qx)
foreach(test dialogs_test controls_test)
  if(TARGET ${test})
    add_dependencies(${test} dialog_fixtures)
    target_compile_definitions(${test} PRIVATE QX_DIALOG_RES="${dialog_res}")
  endif()
endforeach()

# The same layout printer built over the stand-in, for the Wine tier's comparison.
add_executable(dialog_layout ${CMAKE_CURRENT_SOURCE_DIR}/windows/dialog_driver.cpp)
target_include_directories(dialog_layout PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/windows)
target_compile_options(dialog_layout PRIVATE ${QX_WARNINGS})
target_link_libraries(dialog_layout PRIVATE winapi)
add_dependencies(dialog_layout dialog_fixtures)
