# The 32-bit program under WoW64, in a 64-bit prefix with the command fixture
# built as a 64-bit screen saver too (needs the x86-64 MinGW compiler).
find_program(DORMITY_MINGW64_CXX x86_64-w64-mingw32-g++-posix)
find_program(DORMITY_MINGW64_WINDRES x86_64-w64-mingw32-windres)
if(NOT DORMITY_MINGW64_CXX OR NOT DORMITY_MINGW64_WINDRES)
  message(STATUS "No x86-64 MinGW compiler: the 64-bit tests are left out")
  return()
endif()
set(WIN64_DIR ${CMAKE_BINARY_DIR}/win64)
set(WIN64_FIXTURE ${WIN64_DIR}/fixture_saver64.scr)
# The 64-bit fixture, and the 32-bit one beside it.
add_custom_command(OUTPUT ${WIN64_FIXTURE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${WIN64_DIR}
  COMMAND ${DORMITY_MINGW64_WINDRES} -DFIXTURE_64BIT -I ${ICON_DIR} --input-format=rc -O coff
          ${COMMANDS_SRC}/fixture_saver.rc -o ${WIN64_DIR}/fixture_saver64_res.o
  COMMAND ${DORMITY_MINGW64_CXX} ${DORMITY_WARNINGS} -Os -mwindows -static -static-libgcc
          -static-libstdc++ -s -o ${WIN64_FIXTURE} ${COMMANDS_SRC}/fixture_saver.cpp
          ${WIN64_DIR}/fixture_saver64_res.o
  DEPENDS ${COMMANDS_SRC}/fixture_saver.cpp ${COMMANDS_SRC}/fixture_saver.rc
          ${ICON_DIR}/icon104.ico)
add_custom_command(OUTPUT ${WIN64_DIR}/fixture_saver.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fixture_saver> ${WIN64_DIR}/fixture_saver.exe
  DEPENDS fixture_saver)
# A 64-bit language-neutral saver and its satellites (English, replaced, and
# German), laid out as the catalogue's 32-bit ones.
set(WIN64_MUI_FILES ${WIN64_DIR}/mui_neutral_en64.scr)
foreach(variant neutral_en en en_replaced de)
  set(res ${WIN64_DIR}/mui_${variant}64_res.o)
  add_custom_command(OUTPUT ${res} DEPENDS ${CATALOGUE_DIR}/fixtures/mui.rc
    COMMAND ${CMAKE_COMMAND} -E make_directory ${WIN64_DIR}
    COMMAND ${DORMITY_MINGW64_WINDRES} -DMUI_${variant} --input-format=rc -O coff
            ${CATALOGUE_DIR}/fixtures/mui.rc -o ${res})
  if(variant STREQUAL neutral_en)
    add_custom_command(OUTPUT ${WIN64_DIR}/mui_neutral_en64.scr DEPENDS ${res}
      COMMAND ${DORMITY_MINGW64_CXX} -x c ${CATALOGUE_DIR}/fixtures/saver_main.c -x none ${res}
              -mwindows -static -s -o ${WIN64_DIR}/mui_neutral_en64.scr)
  else()
    add_custom_command(OUTPUT ${WIN64_DIR}/${variant}64.mui DEPENDS ${res}
      COMMAND ${DORMITY_MINGW64_CXX} -shared -nostdlib -Wl,-e,0 -s -o ${WIN64_DIR}/${variant}64.mui ${res})
    list(APPEND WIN64_MUI_FILES ${WIN64_DIR}/${variant}64.mui)
  endif()
endforeach()
add_custom_target(win64_fixtures ALL DEPENDS ${WIN64_FIXTURE} ${WIN64_DIR}/fixture_saver.exe
  ${WIN64_MUI_FILES})

dormity_test_executable(win64_tests ${CMAKE_CURRENT_LIST_DIR}/test_win64.cpp)
target_compile_options(win64_tests PRIVATE ${DORMITY_WARNINGS})
set_target_properties(win64_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${WIN64_DIR})
add_dependencies(win64_tests win64_fixtures)
add_test(NAME win64 COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh
  --prefix ${CMAKE_BINARY_DIR}/wineprefix64 --arch win64 ${WIN64_DIR}/win64_tests.exe
  --gtest_filter=-Win32Catalogue.*)
add_test(NAME win64_detection_win32
  COMMAND ${WINE_RUN} ${WIN64_DIR}/win64_tests.exe --gtest_filter=Wow64Detection.*:Win32Catalogue.*)
# The 64-bit prefix is this area's alone (its first run also makes it); the
# second run shares the 32-bit prefix with every other area.
set_tests_properties(win64 PROPERTIES TIMEOUT 600 RESOURCE_LOCK dormity_wineprefix64
  ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR};DORMITY_PREFIX_ARCH=win64")
set_tests_properties(win64_detection_win32 PROPERTIES TIMEOUT 300 RESOURCE_LOCK dormity_wineprefix
  ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR};DORMITY_PREFIX_ARCH=win32")
