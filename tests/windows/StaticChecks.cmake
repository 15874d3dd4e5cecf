# What can be checked of a DLL without running it, for both bitnesses (the 32-bit ones cannot
# run here): exactly the four entry points, undecorated; imports from system DLLs alone; the
# type library, registration script and version resources, the type library built for the
# DLL's own platform (so that it registers under win32 or win64); and the project's version.
find_program(QUILLON_OBJDUMP64 NAMES x86_64-w64-mingw32-objdump REQUIRED)
find_program(QUILLON_OBJDUMP32 NAMES i686-w64-mingw32-objdump REQUIRED)

ExternalProject_Get_Property(quillon_i686 BINARY_DIR)
set(bin64 ${CMAKE_BINARY_DIR}/bin)
set(bin32 ${BINARY_DIR}/bin)
get_property(servers GLOBAL PROPERTY QUILLON_INPROC_SERVERS)
foreach(server IN LISTS servers)
    foreach(bitness 64 32)
        add_test(NAME dll_check_${server}_win${bitness}
            COMMAND ${scripts}/dll-check.sh ${QUILLON_OBJDUMP${bitness}}
                    ${bin${bitness}}/${server}.dll win${bitness} ${PROJECT_VERSION})
    endforeach()
endforeach()
