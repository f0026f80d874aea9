# The 32-bit program on 64-bit Windows: a prefix of the 64-bit system, the
# command fixture built once more as a 64-bit screen saver, and the tests
# that run there (and, for the WoW64 detection, in the 32-bit prefix too).
# Without the x86-64 MinGW compiler there is no 64-bit fixture, and these
# tests are left out.
find_program(DORMITY_MINGW64_CXX x86_64-w64-mingw32-g++-posix)
find_program(DORMITY_MINGW64_WINDRES x86_64-w64-mingw32-windres)
if(NOT DORMITY_MINGW64_CXX OR NOT DORMITY_MINGW64_WINDRES)
  message(STATUS "No x86-64 MinGW compiler: the 64-bit tests are left out")
  return()
endif()

set(WIN64_DIR ${CMAKE_BINARY_DIR}/win64)
set(WIN64_SRC ${CMAKE_CURRENT_LIST_DIR})
set(WIN64_PREFIX ${CMAKE_BINARY_DIR}/wineprefix64)

# --- The 64-bit fixture screen saver, from the command fixture's source -----
set(WIN64_FIXTURE_RES ${WIN64_DIR}/fixture_saver64_res.o)
set(WIN64_FIXTURE ${WIN64_DIR}/fixture_saver64.scr)
add_custom_command(
  OUTPUT ${WIN64_FIXTURE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${WIN64_DIR}
  COMMAND ${DORMITY_MINGW64_WINDRES} -DFIXTURE_64BIT --input-format=rc -O coff
          ${COMMANDS_SRC}/fixture_saver.rc -o ${WIN64_FIXTURE_RES}
  COMMAND ${DORMITY_MINGW64_CXX} ${DORMITY_WARNINGS} -Os -mwindows -static -static-libgcc
          -static-libstdc++ -s -o ${WIN64_FIXTURE} ${COMMANDS_SRC}/fixture_saver.cpp
          ${WIN64_FIXTURE_RES}
  DEPENDS ${COMMANDS_SRC}/fixture_saver.cpp ${COMMANDS_SRC}/fixture_saver.rc
  COMMENT "Building the 64-bit fixture screen saver")
# The 32-bit fixture beside it, for the tests' files of both kinds.
add_custom_command(
  OUTPUT ${WIN64_DIR}/fixture_saver.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fixture_saver> ${WIN64_DIR}/fixture_saver.exe
  DEPENDS fixture_saver
  COMMENT "Copying the 32-bit fixture screen saver for the 64-bit tests")
add_custom_target(win64_fixtures ALL DEPENDS ${WIN64_FIXTURE} ${WIN64_DIR}/fixture_saver.exe)

# --- The tests --------------------------------------------------------------
dormity_test_executable(win64_tests ${WIN64_SRC}/test_win64.cpp)
target_compile_options(win64_tests PRIVATE ${DORMITY_WARNINGS})
set_target_properties(win64_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${WIN64_DIR})
add_dependencies(win64_tests win64_fixtures)

add_test(NAME win64
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh --prefix ${WIN64_PREFIX} --arch win64
          ${WIN64_DIR}/win64_tests.exe)
# The detection again where the system is 32-bit.
add_test(NAME win64_detection_win32
  COMMAND ${WINE_RUN} ${WIN64_DIR}/win64_tests.exe --gtest_filter=Wow64Detection.*)

# The 64-bit prefix is this area's alone (its first run also makes it, which
# takes longer than a 32-bit one); the second run shares the 32-bit prefix
# with every other area.
set_tests_properties(win64 PROPERTIES
  TIMEOUT 600
  RESOURCE_LOCK dormity_wineprefix64
  ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR};DORMITY_PREFIX_ARCH=win64")
set_tests_properties(win64_detection_win32 PROPERTIES
  TIMEOUT 300
  RESOURCE_LOCK dormity_wineprefix
  ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR};DORMITY_PREFIX_ARCH=win32")
