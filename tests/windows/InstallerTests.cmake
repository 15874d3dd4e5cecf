# The installer's tests. The packages are checked as msiinfo reads them; then, in msi-prefix/,
# a fresh 64-bit Windows, in this order: what regsvr32 writes for the 64-bit DLLs (the
# reference), a silent install of the x64 package held to it, the 32-bit side in place, both
# objects created by ProgID from the C++ client and from cscript with the Linux build's
# pictures, an upgrade to the next version, the uninstall; then a release before this one,
# whose type library is the previous version, installed and upgraded to this package, which
# must leave the registry as this package's own install does, and uninstalled; and the x86
# package refused.
ExternalProject_Get_Property(quillon_i686 BINARY_DIR)
set(i686_bin ${BINARY_DIR}/bin)
set(package ${CMAKE_BINARY_DIR}/Quillon-${PROJECT_VERSION})
set(installer ${CMAKE_CURRENT_SOURCE_DIR}/installer)
set(work ${CMAKE_CURRENT_BINARY_DIR}/installer)

# The package of the next version, to upgrade to.
get_property(servers GLOBAL PROPERTY QUILLON_INPROC_SERVERS)
set(next_package ${CMAKE_CURRENT_BINARY_DIR}/Quillon-${QUILLON_NEXT_VERSION}-x64.msi)
list(TRANSFORM servers APPEND Next OUTPUT_VARIABLE next_servers)
quillon_add_msi(msi_next ALL OUTPUT ${next_package}
    VERSION ${QUILLON_NEXT_VERSION} PLATFORM x64
    DLLS64 ${QUILLON_NEXT_VERSION_BIN} DLLS32 ${i686_bin}/next
    DEPENDS ${next_servers} quillon_i686)

# The package of a release before this one, to upgrade from: its servers at that release's
# version, registered as the interface description of its type library, the version before
# this one, says (generate_interface.py --previous-idl: the last interface not yet there). Only
# the registry rows come from that description: what the DLLs carry plays no part here.
set(previous_idl ${CMAKE_CURRENT_BINARY_DIR}/previous/TarvexQuillon.idl)
add_custom_command(OUTPUT ${previous_idl}
    COMMAND ${Python3_EXECUTABLE} ${QUILLON_INTERFACE_GENERATOR} --previous-idl ${previous_idl}
    DEPENDS ${QUILLON_INTERFACE_GENERATOR} ${PROJECT_SOURCE_DIR}/component/contract/interface_table.py
            ${PROJECT_SOURCE_DIR}/component/contract/IQuillon.toml
    VERBATIM)
set(previous_package ${CMAKE_CURRENT_BINARY_DIR}/Quillon-${QUILLON_PREVIOUS_VERSION}-x64.msi)
list(TRANSFORM servers APPEND Previous OUTPUT_VARIABLE previous_servers)
quillon_add_msi(msi_previous ALL OUTPUT ${previous_package}
    VERSION ${QUILLON_PREVIOUS_VERSION} PLATFORM x64
    DLLS64 ${QUILLON_PREVIOUS_VERSION_BIN} DLLS32 ${i686_bin}/previous
    IDLS TarvexQuillon ${previous_idl}
    DEPENDS ${previous_servers} quillon_i686 ${previous_idl})

add_test(NAME msi_packages
         COMMAND ${installer}/packages.sh ${package}-x64.msi ${package}-x86.msi ${PROJECT_VERSION})

quillon_wine_prefix(msi_prefix)
# installer_test(NAME SCRIPT ARGUMENTS... [FIXTURES ...] [DEPENDS ...]): a script of
# installer/ with the tests' shared folder.
function(installer_test name script)
    cmake_parse_arguments(ARG "" "" "FIXTURES;DEPENDS" ${ARGN})
    quillon_wine_test(${name} PREFIX msi_prefix
        COMMAND ${installer}/${script} ${work} ${ARG_UNPARSED_ARGUMENTS}
        FIXTURES ${ARG_FIXTURES} DEPENDS ${ARG_DEPENDS})
endfunction()

set(dlls ${servers})
list(TRANSFORM dlls REPLACE "(.+)" "${CMAKE_BINARY_DIR}/bin/\\1.dll")
installer_test(msi_regsvr32_reference reference.sh ${dlls})
installer_test(msi_install install.sh ${package}-x64.msi FIXTURES msi_reference)
installer_test(msi_32bit_side side32.sh ${i686_bin} FIXTURES msi_installed msi_reference)
quillon_wine_test(msi_client PREFIX msi_prefix
                  COMMAND quillon_wine_client checks FIXTURES msi_installed)
quillon_wine_test(msi_vbscript PREFIX msi_prefix
                  COMMAND ${scripts}/cscript.sh ${scripts}/Quillon.vbs FIXTURES msi_installed)
if(QUILLON_LINUX_CLI)
    quillon_wine_test(msi_cross_platform PREFIX msi_prefix
        COMMAND ${scripts}/cross-platform.sh $<TARGET_FILE:quillon_wine_client>
                ${data}/cross-platform.tsv ${QUILLON_LINUX_CLI} ${work}/cross-platform
        FIXTURES msi_installed)
endif()
installer_test(msi_upgrade upgrade.sh ${next_package} ${QUILLON_NEXT_VERSION_BIN} ${i686_bin}/next
               FIXTURES msi_installed msi_reference
               DEPENDS msi_32bit_side msi_client msi_vbscript msi_cross_platform)
installer_test(msi_uninstall uninstall.sh ${next_package}
               FIXTURES msi_reference DEPENDS msi_upgrade)
installer_test(msi_previous_install previous.sh ${previous_package} ${previous_idl}
               FIXTURES msi_reference DEPENDS msi_uninstall)
installer_test(msi_upgrade_from_previous upgrade.sh ${package}-x64.msi ${CMAKE_BINARY_DIR}/bin
               ${i686_bin} FIXTURES msi_reference DEPENDS msi_previous_install)
installer_test(msi_uninstall_after_upgrade uninstall.sh ${package}-x64.msi
               FIXTURES msi_reference DEPENDS msi_upgrade_from_previous)
installer_test(msi_x86_refused x86.sh ${package}-x86.msi
               FIXTURES msi_reference DEPENDS msi_uninstall_after_upgrade)
set_tests_properties(msi_regsvr32_reference PROPERTIES FIXTURES_SETUP msi_reference)
set_tests_properties(msi_install PROPERTIES FIXTURES_SETUP msi_installed)
set_tests_properties(msi_uninstall PROPERTIES FIXTURES_CLEANUP msi_installed)
