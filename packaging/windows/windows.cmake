# The Windows program's version resource, the installer and the MSI, each with the one
# version of this build (scripts/version.sh): the full one in every text, the numbers in
# the fields that take only numbers. Written into the build folder for scripts/windows/build.sh.
set(CONTADOPO_PUBLISHER "The Contadopo developers")
set(CONTADOPO_COPYRIGHT "Copyright © 2026 The Contadopo developers. GNU GPL 3 or later")
# Never change these two: Windows Installer knows the program by them across versions.
set(CONTADOPO_UPGRADE_CODE "8C0C6BBB-6085-4D2A-AEF7-8E693B9BB620")
set(CONTADOPO_RECORD_COMPONENT "3F846883-2053-40F5-8760-1AA4F4FBD875")

string(REPLACE "." "," CONTADOPO_RC_VERSION "${CONTADOPO_VERSION_WIN}")
if(CONTADOPO_VERSION STREQUAL PROJECT_VERSION)
    set(CONTADOPO_RC_FLAGS 0)
else()
    set(CONTADOPO_RC_FLAGS VS_FF_PRERELEASE)
endif()
# major.minor.<commits>, and the next build's, for the MSI (see contadopo.wxs).
if(NOT CONTADOPO_VERSION_WIN MATCHES "^([0-9]+)\\.([0-9]+)\\.[0-9]+\\.([0-9]+)$")
    message(FATAL_ERROR "Not a Windows version: ${CONTADOPO_VERSION_WIN}")
endif()
set(CONTADOPO_MSI_VERSION "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}")
math(EXPR next_build "${CMAKE_MATCH_3} + 1")
set(CONTADOPO_MSI_NEXT "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${next_build}")

file(GLOB sounds RELATIVE "${PROJECT_SOURCE_DIR}/resources/suoni" CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/resources/suoni/*.wav")
set(CONTADOPO_MSI_SOUNDS "")
foreach(sound IN LISTS sounds)
    string(APPEND CONTADOPO_MSI_SOUNDS "              <File Id=\"suoni_${sound}\" Source=\"stage/Contadopo/suoni/${sound}\"/>\n")
endforeach()
# wixl takes no absolute path: the icon as seen from the build folder.
file(RELATIVE_PATH CONTADOPO_MSI_ICON "${PROJECT_BINARY_DIR}" "${PROJECT_SOURCE_DIR}/resources/contadopo.ico")

foreach(template contadopo.rc contadopo.nsi contadopo.wxs)
    configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/${template}" "${PROJECT_BINARY_DIR}/${template}" @ONLY)
endforeach()
target_sources(contadopo PRIVATE "${PROJECT_BINARY_DIR}/contadopo.rc")
