# The command tests, in a directory of their own where a fixture named
# rundll32.exe (control.exe) and a planted winmm.dll stand first in a search for a bare
# name: the program must find neither.
set(COMMANDS_DIR ${CMAKE_BINARY_DIR}/commands)
set(COMMANDS_SRC ${CMAKE_CURRENT_SOURCE_DIR}/commands)

set(COMMANDS_FIXTURE_RES ${CMAKE_BINARY_DIR}/commands_fixture_res.o)
dormity_rc_object(${COMMANDS_FIXTURE_RES} ${COMMANDS_SRC}/fixture_saver.rc)

function(commands_fixture name definition)
  add_executable(${name} WIN32 ${COMMANDS_SRC}/fixture_saver.cpp ${COMMANDS_FIXTURE_RES})
  target_compile_options(${name} PRIVATE ${DORMITY_WARNINGS})
  target_compile_definitions(${name} PRIVATE ${definition})
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${COMMANDS_DIR})
endfunction()
commands_fixture(fixture_saver "")
commands_fixture(fixture_lingering_saver FIXTURE_LINGER_MS=3000)
commands_fixture(fixture_winmm_by_name FIXTURE_LOADS_WINMM)
add_custom_command(TARGET fixture_saver POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fixture_saver> ${COMMANDS_DIR}/rundll32.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fixture_saver> ${COMMANDS_DIR}/control.exe)
add_executable(saver_state ${COMMANDS_SRC}/saver_state.cpp)
target_link_options(saver_state PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(saver_state PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${COMMANDS_DIR})

# A module: no import library for a -lwinmm to find.
add_library(planted_winmm MODULE ${COMMANDS_SRC}/planted_winmm.c)
target_compile_options(planted_winmm PRIVATE ${DORMITY_WARNINGS})
target_link_options(planted_winmm PRIVATE -static-libgcc)
set_target_properties(planted_winmm PROPERTIES PREFIX "" OUTPUT_NAME winmm SUFFIX .dll
  LIBRARY_OUTPUT_DIRECTORY ${COMMANDS_DIR})

dormity_test_executable(commands_tests
  ${COMMANDS_SRC}/test_handlers.cpp ${COMMANDS_SRC}/test_saver_programs.cpp
  ${COMMANDS_SRC}/test_sounds.cpp ${COMMANDS_SRC}/test_timed_disable.cpp
  ${COMMANDS_SRC}/test_keep_off.cpp)
target_compile_options(commands_tests PRIVATE ${DORMITY_WARNINGS})
set_target_properties(commands_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${COMMANDS_DIR})
add_dependencies(commands_tests fixture_saver fixture_lingering_saver fixture_winmm_by_name
  planted_winmm)

# ALSA's default device writes what is played to a file, new for each sound.
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
# The planted winmm.dll, in processes of their own (a loaded module is found
# by its name alone), on every system.
add_test(NAME commands_winmm COMMAND ${WINE_RUN} ${COMMANDS_DIR}/commands_tests.exe
  --gtest_filter=PlantedWinmm.*)
add_test(NAME commands_menu COMMAND bash ${COMMANDS_SRC}/menu_e2e.sh ${CMAKE_BINARY_DIR})
set_tests_properties(commands_menu PROPERTIES SKIP_RETURN_CODE 77)
set(COMMANDS_TESTS commands commands_winmm commands_menu)
dormity_family_runs(commands_tests commands ${COMMANDS_DIR} COMMANDS_TESTS)
foreach(version win98 nt40 win2k)
  add_test(NAME commands_winmm_${version} COMMAND ${WINE_RUN} --version ${version}
    ${COMMANDS_DIR}/commands_tests_${version}.exe --gtest_filter=PlantedWinmm.*)
  list(APPEND COMMANDS_TESTS commands_winmm_${version})
endforeach()

# They change the prefix's settings and system programs. Wine is to prefer
# a winmm.dll found by the search, as Windows does for one not known, and to
# run the stand-in installed as rundll32.exe (control.exe), not its built-in program.
set_tests_properties(${COMMANDS_TESTS} PROPERTIES
  TIMEOUT 180
  RESOURCE_LOCK "dormity_wineprefix;wineprefix_screen_savers"
  ENVIRONMENT "DORMITY_BUILD_DIR=${CMAKE_BINARY_DIR};DORMITY_DLL_OVERRIDES=winmm,rundll32.exe,control.exe=n,b;ALSA_CONFIG_PATH=${COMMANDS_DIR}/sound-capture.conf;DORMITY_SOUND_CAPTURE=${COMMANDS_SOUND_CAPTURE}")
