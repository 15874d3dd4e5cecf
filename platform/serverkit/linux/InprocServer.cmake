# What quillon_add_inproc_server does on Linux (see ../CMakeLists.txt).

# A script is built into the library as its text.
function(quillon_script_location script_path resource out)
    file(READ "${script_path}" text)
    set(${out} "R\"rgs(${text})rgs\", 0" PARENT_SCOPE)
endfunction()

# The type library's description is compiled in, and the library exports the entry points,
# the description (PlatformTypeLibResource, which SERVERKIT_ENTRY_POINTS defines) and the
# EXPORTS through a version script.
function(quillon_platform_inproc_server name idl type_table exports scripts)
    if(type_table)
        target_sources(${name} PRIVATE ${type_table})
    endif()
    set(symbols DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer
        PlatformTypeLibResource ${exports})
    list(JOIN symbols "; " global)
    set(version_script "${CMAKE_CURRENT_BINARY_DIR}/${name}.map")
    quillon_write_if_changed("${version_script}" "{\n  global: ${global};\n  local: *;\n};\n")
    target_link_options(${name} PRIVATE "LINKER:--version-script=${version_script}")
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS "${version_script}")
endfunction()
