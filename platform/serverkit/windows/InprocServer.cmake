# What quillon_add_inproc_server does on Windows (see ../CMakeLists.txt): a DLL named after the
# server, with its type library, registration scripts and version as resources, and a .def
# file that exports the four entry points alone.

# widl compiles the IDL; the IDL files it imports (oaidl.idl ...) and stdole2.tlb come with
# Wine's development files.
find_program(QUILLON_WIDL NAMES ${QUILLON_MINGW_PREFIX}-widl widl REQUIRED)
find_path(QUILLON_IDL_INCLUDE_DIR oaidl.idl
    PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
    NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(QUILLON_STDOLE2_DIR stdole2.tlb
    PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
    NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# A script is the library's REGISTRY resource with that identifier.
function(quillon_script_location script_path resource out)
    set(${out} "nullptr, ${resource}" PARENT_SCOPE)
endfunction()

# The type library's system kind, and so the key RegisterTypeLib files the library's path under
# (win32 or win64), follows the DLL's bitness.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(QUILLON_WIDL_TARGET --win32)
else()
    set(QUILLON_WIDL_TARGET --win64)
endif()

# scripts: resource identifier and path of each script, in turn.
function(quillon_platform_inproc_server name idl type_table exports scripts)
    set_target_properties(${name} PROPERTIES PREFIX "")
    set(resources "")

    if(idl)
        get_filename_component(idl_path "${idl}" ABSOLUTE)
        set(tlb "${CMAKE_CURRENT_BINARY_DIR}/${name}.tlb")
        add_custom_command(OUTPUT "${tlb}"
            COMMAND ${QUILLON_WIDL} ${QUILLON_WIDL_TARGET} -t -I${QUILLON_IDL_INCLUDE_DIR}
                    -L${QUILLON_STDOLE2_DIR} -o "${tlb}" "${idl_path}"
            DEPENDS "${idl_path}"
            COMMENT "Compiling the type library of ${name}"
            VERBATIM)
        string(APPEND resources "1 TYPELIB \"${tlb}\"\n")
    endif()
    set(script_paths "")
    while(scripts)
        list(POP_FRONT scripts resource script_path)
        string(APPEND resources "${resource} REGISTRY \"${script_path}\"\n")
        list(APPEND script_paths "${script_path}")
    endwhile()

    set(QUILLON_SERVER_NAME ${name})
    set(QUILLON_SERVER_RESOURCES "${resources}")
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${name}.rc")
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/InprocServer.rc.in "${rc}" @ONLY)
    # The version is the project's (component/contract/QuillonVersion.h, generated).
    set_property(SOURCE "${rc}" PROPERTY INCLUDE_DIRECTORIES "${PROJECT_BINARY_DIR}/generated")
    if(idl)
        set_property(SOURCE "${rc}" APPEND PROPERTY OBJECT_DEPENDS "${tlb}")
    endif()

    set(def "${CMAKE_CURRENT_BINARY_DIR}/${name}.def")
    # The entry points are __stdcall, with the bytes of their arguments: 32-bit x86 decorates
    # their names with that count (DllGetClassObject@12), and the exports map the plain names
    # to the decorated ones; 64-bit names are plain.
    set(entries "")
    foreach(entry DllGetClassObject@12 DllCanUnloadNow@0 DllRegisterServer@0
                  DllUnregisterServer@0)
        string(REGEX REPLACE "@.*" "" plain "${entry}")
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            string(APPEND entries "    ${plain} = ${entry} PRIVATE\n")
        else()
            string(APPEND entries "    ${plain} PRIVATE\n")
        endif()
    endforeach()
    quillon_write_if_changed("${def}" "LIBRARY ${name}.dll\nEXPORTS\n${entries}")
    target_sources(${name} PRIVATE "${rc}" "${def}")

    # What the installer registers the server from (packaging/windows/), the same interface
    # definition and scripts as its resources, and what a build of it at another version
    # takes (tests/windows/).
    set_target_properties(${name} PROPERTIES
        QUILLON_IDL "${idl_path}"
        QUILLON_REGISTRY_SCRIPTS "${script_paths}"
        QUILLON_RESOURCES "${rc}"
        QUILLON_EXPORTS "${def}")
    set_property(GLOBAL APPEND PROPERTY QUILLON_INPROC_SERVERS ${name})
endfunction()
