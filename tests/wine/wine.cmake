# The Wine tier: the x86_64 Windows build (a separate mingw-x64 build folder) run under
# Wine from the host's test run, under its own label so it can be run or left out alone.
set(QX_WINE_BUILD_DIR ${CMAKE_SOURCE_DIR}/build/mingw-x64 CACHE PATH
  "mingw-x64 build folder whose programs the Wine tier runs")

foreach(group env installers imm parity dialogs module_dialogs)
  add_test(NAME wine_${group}
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/run-tier --build ${QX_WINE_BUILD_DIR}
      --host ${CMAKE_BINARY_DIR} ${group})
  set_tests_properties(wine_${group} PROPERTIES LABELS wine TIMEOUT 900)
endforeach()

# The tier's pictures as PNG, beside the host runner's.
find_package(PNG REQUIRED)
add_executable(wine-bmp2png ${CMAKE_CURRENT_LIST_DIR}/bmp2png.cpp)
target_compile_options(wine-bmp2png PRIVATE ${QX_WARNINGS})
target_link_libraries(wine-bmp2png PRIVATE PNG::PNG)
