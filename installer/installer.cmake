# The portable zip and, when makensis is present, the installer.
set(DORMITY_VERSION_TEXT 2.06.00)
set(PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
set(PACKAGE_ZIP ${CMAKE_BINARY_DIR}/Dormity-${DORMITY_VERSION_TEXT}.zip)
set(SETUP_EXE ${CMAKE_BINARY_DIR}/Dormity-${DORMITY_VERSION_TEXT}-setup.exe)

add_custom_command(
  OUTPUT ${PACKAGE_DIR}/README.txt ${PACKAGE_DIR}/LICENSE.txt ${PACKAGE_DIR}/Dormity.exe
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PACKAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/installer/README.txt
          -DOUT=${PACKAGE_DIR}/README.txt -P ${CMAKE_SOURCE_DIR}/cmake/crlf.cmake
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/LICENSE
          -DOUT=${PACKAGE_DIR}/LICENSE.txt -P ${CMAKE_SOURCE_DIR}/cmake/crlf.cmake
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Dormity> ${PACKAGE_DIR}/Dormity.exe
  DEPENDS Dormity ${CMAKE_SOURCE_DIR}/installer/README.txt ${CMAKE_SOURCE_DIR}/LICENSE
  COMMENT "Staging the package files")

add_custom_command(
  OUTPUT ${PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${PACKAGE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${PACKAGE_ZIP} --format=zip Dormity.exe README.txt LICENSE.txt
  WORKING_DIRECTORY ${PACKAGE_DIR}
  DEPENDS ${PACKAGE_DIR}/README.txt ${PACKAGE_DIR}/LICENSE.txt ${PACKAGE_DIR}/Dormity.exe
  COMMENT "Packing Dormity-${DORMITY_VERSION_TEXT}.zip")
add_custom_target(package_zip ALL DEPENDS ${PACKAGE_ZIP})

find_program(MAKENSIS makensis)
if(MAKENSIS)
  add_custom_command(
    OUTPUT ${SETUP_EXE}
    COMMAND ${MAKENSIS} -V2 -DVERSION=${DORMITY_VERSION_TEXT} -DBUILD_DIR=${CMAKE_BINARY_DIR}
            -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTFILE=${SETUP_EXE}
            ${CMAKE_SOURCE_DIR}/installer/dormity.nsi
    DEPENDS ${CMAKE_SOURCE_DIR}/installer/dormity.nsi ${PACKAGE_DIR}/README.txt
            ${PACKAGE_DIR}/LICENSE.txt ${PACKAGE_DIR}/Dormity.exe ${ICON_FILES} ${STRINGS_NSH}
    COMMENT "Building Dormity-${DORMITY_VERSION_TEXT}-setup.exe")
  add_custom_target(installer ALL DEPENDS ${SETUP_EXE})
else()
  message(STATUS "makensis not found: the installer is not built")
endif()

# The Windows Installer package, when wixl (msitools) is present. Its
# version is the release's in the MSI form: "2.06.00" gives 2.6.0.
find_program(WIXL wixl)
if(WIXL)
  string(REPLACE "." ";" version_parts ${DORMITY_VERSION_TEXT})
  set(MSI_VERSION)
  foreach(part ${version_parts})
    math(EXPR part "${part}")
    list(APPEND MSI_VERSION ${part})
  endforeach()
  list(JOIN MSI_VERSION "." MSI_VERSION)
  set(PACKAGE_MSI ${CMAKE_BINARY_DIR}/Dormity-${DORMITY_VERSION_TEXT}.msi)
  # dormity_msi(OUTPUT VERSION): the package of the staged files.
  function(dormity_msi output version)
    get_filename_component(directory ${output} DIRECTORY)
    file(RELATIVE_PATH package_dir ${CMAKE_BINARY_DIR} ${PACKAGE_DIR})
    file(RELATIVE_PATH icon ${CMAKE_BINARY_DIR} ${ICON_DIR}/icon104.ico)
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${directory}
      # wixl takes the files' names relative to where it runs, never whole.
      COMMAND ${WIXL} -D Version=${version} -D PackageDir=${package_dir}
              -D Icon=${icon} -o ${output} ${CMAKE_SOURCE_DIR}/installer/dormity.wxs
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
      DEPENDS ${CMAKE_SOURCE_DIR}/installer/dormity.wxs ${PACKAGE_DIR}/README.txt
              ${PACKAGE_DIR}/LICENSE.txt ${PACKAGE_DIR}/Dormity.exe ${ICON_FILES}
      COMMENT "Building ${output}")
  endfunction()
  dormity_msi(${PACKAGE_MSI} ${MSI_VERSION})
  add_custom_target(package_msi ALL DEPENDS ${PACKAGE_MSI})
else()
  message(STATUS "wixl not found: the MSI package is not built")
endif()
