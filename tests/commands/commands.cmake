# Commands and their handlers: fixture programs, the in-process tests (once
# for the default system and, for the Family* suites, once per family) and
# a run of the real program driven through its tray menu.
#
# Everything lives in a directory of its own, beside the test program: the
# fixture named rundll32.exe and the planted winmm.dll stand first in the
# search for a bare name, for these tests only, and the program must find
# neither.
set(COMMANDS_DIR ${CMAKE_BINARY_DIR}/commands)
set(COMMANDS_SRC ${CMAKE_CURRENT_SOURCE_DIR}/commands)

set(COMMANDS_FIXTURE_RES ${CMAKE_BINARY_DIR}/commands_fixture_res.o)
add_custom_command(
  OUTPUT ${COMMANDS_FIXTURE_RES}
  COMMAND ${DORMITY_WINDRES} --input-format=rc -O coff ${COMMANDS_SRC}/fixture_saver.rc
          -o ${COMMANDS_FIXTURE_RES}
  DEPENDS ${COMMANDS_SRC}/fixture_saver.rc
  COMMENT "Compiling the fixture screen saver's resources")
set_source_files_properties(${COMMANDS_FIXTURE_RES} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)

function(commands_fixture name)
  add_executable(${name} WIN32 ${ARGN})
  target_compile_options(${name} PRIVATE ${DORMITY_WARNINGS})
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${COMMANDS_DIR})
endfunction()

commands_fixture(fixture_saver ${COMMANDS_SRC}/fixture_saver.cpp ${COMMANDS_FIXTURE_RES})
commands_fixture(fixture_lingering_saver ${COMMANDS_SRC}/fixture_saver.cpp ${COMMANDS_FIXTURE_RES})
target_compile_definitions(fixture_lingering_saver PRIVATE FIXTURE_LINGER_MS=3000)
commands_fixture(fixture_winmm_by_name ${COMMANDS_SRC}/fixture_saver.cpp ${COMMANDS_FIXTURE_RES})
target_compile_definitions(fixture_winmm_by_name PRIVATE FIXTURE_LOADS_WINMM)
add_custom_command(TARGET fixture_saver POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fixture_saver> ${COMMANDS_DIR}/rundll32.exe)

# The planted winmm.dll (a module: no import library to be found by a
# -lwinmm anywhere).
add_library(planted_winmm MODULE ${COMMANDS_SRC}/planted_winmm.c)
target_compile_options(planted_winmm PRIVATE ${DORMITY_WARNINGS})
target_link_options(planted_winmm PRIVATE -static-libgcc)
set_target_properties(planted_winmm PROPERTIES PREFIX "" OUTPUT_NAME winmm SUFFIX .dll
  LIBRARY_OUTPUT_DIRECTORY ${COMMANDS_DIR})

add_executable(saver_state ${COMMANDS_SRC}/saver_state.cpp)
target_compile_options(saver_state PRIVATE ${DORMITY_WARNINGS})
target_link_options(saver_state PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(saver_state PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${COMMANDS_DIR})

dormity_test_executable(commands_tests
  ${COMMANDS_SRC}/test_handlers.cpp
  ${COMMANDS_SRC}/test_saver_programs.cpp
  ${COMMANDS_SRC}/test_sounds.cpp)
target_compile_options(commands_tests PRIVATE ${DORMITY_WARNINGS})
set_target_properties(commands_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${COMMANDS_DIR})
add_dependencies(commands_tests fixture_saver fixture_lingering_saver fixture_winmm_by_name
  planted_winmm)

# The sounds the tests' processes play are heard through ALSA: its default
# device writes every sample to a file (truncated whenever a sound starts)
# and plays nothing.
set(COMMANDS_SOUND_CAPTURE ${COMMANDS_DIR}/played.raw)
file(WRITE ${COMMANDS_DIR}/sound-capture.conf "pcm.!default {
  type file
  slave.pcm { type null }
  file \"${COMMANDS_SOUND_CAPTURE}\"
  format raw
}
")

add_test(NAME commands COMMAND ${WINE_RUN} ${COMMANDS_DIR}/commands_tests.exe
  --gtest_filter=-PlantedWinmm.*)
set(COMMANDS_TESTS commands)
dormity_family_runs(commands_tests commands ${COMMANDS_DIR} COMMANDS_TESTS)

# The planted winmm.dll, in processes where nothing loaded winmm before the
# program (a module already loaded is found by its name alone), as the
# default system and as each family.
add_test(NAME commands_winmm COMMAND ${WINE_RUN} ${COMMANDS_DIR}/commands_tests.exe
  --gtest_filter=PlantedWinmm.*)
list(APPEND COMMANDS_TESTS commands_winmm)
foreach(version win98 nt40 win2k)
  add_test(NAME commands_winmm_${version}
    COMMAND ${WINE_RUN} --version ${version} ${COMMANDS_DIR}/commands_tests_${version}.exe
            --gtest_filter=PlantedWinmm.*)
  list(APPEND COMMANDS_TESTS commands_winmm_${version})
endforeach()

add_test(NAME commands_menu
  COMMAND bash ${COMMANDS_SRC}/menu_e2e.sh ${CMAKE_BINARY_DIR})
list(APPEND COMMANDS_TESTS commands_menu)

set_tests_properties(commands_menu PROPERTIES SKIP_RETURN_CODE 77)

# They change the prefix's screen saver settings, install screen savers (and
# stand-ins for its rundll32.exe) and hold windows named like the program's:
# never beside the other areas' tests that do the same. Wine is told to
# prefer a winmm.dll found by the search (the program's folder first) to
# its own, as Windows does for a DLL that is not a known one; and to run
# the file installed as the system directory's rundll32.exe (the stand-in),
# where it would otherwise start its own built-in program whatever the file;
# and ALSA to use the capturing device above.
set_tests_properties(${COMMANDS_TESTS} PROPERTIES
  TIMEOUT 180
  RESOURCE_LOCK "dormity_wineprefix;wineprefix_screen_savers"
  ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR};DORMITY_DLL_OVERRIDES=winmm,rundll32.exe=n,b;ALSA_CONFIG_PATH=${COMMANDS_DIR}/sound-capture.conf;DORMITY_SOUND_CAPTURE=${COMMANDS_SOUND_CAPTURE}")
