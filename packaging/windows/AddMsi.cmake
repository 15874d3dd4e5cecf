# quillon_add_msi(TARGET [ALL] OUTPUT file.msi VERSION v PLATFORM x64|x86 [DLLS64 dir]
#                 DLLS32 dir [IDLS server idl ...] [DEPENDS target...])
# A package of the servers whose DLLs lie in DLLS64 (64-bit) and DLLS32 (32-bit), made by
# TARGET (with ALL, by every build). Each server is registered from the package's own tables,
# with what the interface definition and registration scripts its DLL was built from say
# (server_components.py), or for a server that IDLS names, the interface definition given
# (the tests' package of an earlier release). The tests make packages of their own with it
# (tests/windows/).
function(quillon_add_msi target)
    cmake_parse_arguments(ARG "ALL" "OUTPUT;VERSION;PLATFORM;DLLS64;DLLS32" "DEPENDS;IDLS" ${ARGN})
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${target})
    file(MAKE_DIRECTORY ${work})
    set(generator ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/server_components.py)
    set(product ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Quillon.wxs)
    get_property(servers GLOBAL PROPERTY QUILLON_INPROC_SERVERS)

    set(fragments "")
    set(commands "")
    set(inputs ${generator} ${product} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/registration_script.py
               ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/type_library.py)
    foreach(bitness 64 32)
        if(NOT ARG_DLLS${bitness})
            continue()
        endif()
        set(arguments --bitness ${bitness} --output fragment${bitness}.wxs)
        if(bitness EQUAL 64)
            list(APPEND arguments --folder ProgramFiles64Folder/Quillon)
        else()
            list(APPEND arguments --folder ProgramFilesFolder/Quillon)
            if(ARG_DLLS64)
                list(APPEND arguments --no-help-dir)
            endif()
        endif()
        foreach(server IN LISTS servers)
            get_target_property(idl ${server} QUILLON_IDL)
            list(FIND ARG_IDLS ${server} given)
            if(given GREATER -1)
                math(EXPR given "${given} + 1")
                list(GET ARG_IDLS ${given} idl)
            endif()
            get_target_property(scripts ${server} QUILLON_REGISTRY_SCRIPTS)
            set(dll ${ARG_DLLS${bitness}}/${server}.dll)
            list(APPEND arguments --server ${dll} ${idl} ${scripts})
            list(APPEND inputs ${dll} ${idl} ${scripts})
        endforeach()
        list(APPEND commands COMMAND ${Python3_EXECUTABLE} ${generator} ${arguments})
        list(APPEND fragments fragment${bitness}.wxs)
    endforeach()

    # wixl leaves the files' versions out; every file is one of the servers, whose version
    # resource gives the package's version and US English (its translation 0409).
    add_custom_command(OUTPUT ${ARG_OUTPUT}
        ${commands}
        COMMAND ${QUILLON_WIXL} -a ${ARG_PLATFORM} -D Version=${ARG_VERSION}
                -D Platform=${ARG_PLATFORM} -o ${ARG_OUTPUT} ${product} ${fragments}
        COMMAND ${QUILLON_MSIBUILD} ${ARG_OUTPUT}
                -q "UPDATE File SET Version = '${ARG_VERSION}', Language = '1033'"
        DEPENDS ${inputs} ${ARG_DEPENDS}
        WORKING_DIRECTORY ${work}
        COMMENT "Packaging ${ARG_OUTPUT}"
        VERBATIM)
    if(ARG_ALL)
        set(all ALL)
    endif()
    add_custom_target(${target} ${all} DEPENDS ${ARG_OUTPUT})
endfunction()
