# The servers once more at two other versions, for the installer's upgrade tests (Windows
# Installer compares three fields): the next version, the third field of the project's raised,
# and the version of a release before this one, the first field lowered. Each is the same
# objects linked with a version resource of that version, into bin/next/ and bin/previous/,
# where packaging/windows/ takes the 32-bit build's from.
math(EXPR next_patch "${PROJECT_VERSION_PATCH} + 1")
set(QUILLON_NEXT_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${next_patch}.${PROJECT_VERSION_TWEAK}")
set(QUILLON_NEXT_VERSION_BIN ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/next)
math(EXPR previous_major "${PROJECT_VERSION_MAJOR} - 1")
set(QUILLON_PREVIOUS_VERSION
    "${previous_major}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${PROJECT_VERSION_TWEAK}")
set(QUILLON_PREVIOUS_VERSION_BIN ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/previous)

# quillon_servers_at(NAME MAJOR PATCH): each server as target <server><Name> (Next, Previous),
# its version's major and patch fields those given, into bin/<name>/.
function(quillon_servers_at name major patch)
    string(TOLOWER ${name} folder)
    # The version header the resources include, at that version.
    set(PROJECT_VERSION_MAJOR ${major})
    set(PROJECT_VERSION_PATCH ${patch})
    set(PROJECT_VERSION
        "${major}.${PROJECT_VERSION_MINOR}.${patch}.${PROJECT_VERSION_TWEAK}")
    set(generated ${CMAKE_CURRENT_BINARY_DIR}/${folder}-version)
    configure_file(${PROJECT_SOURCE_DIR}/component/contract/QuillonVersion.h.in
                   ${generated}/component/contract/QuillonVersion.h @ONLY)

    get_property(servers GLOBAL PROPERTY QUILLON_INPROC_SERVERS)
    foreach(server IN LISTS servers)
        get_target_property(resources ${server} QUILLON_RESOURCES)
        get_target_property(exports ${server} QUILLON_EXPORTS)
        add_library(${server}${name} SHARED
            $<FILTER:$<TARGET_OBJECTS:${server}>,EXCLUDE,\\.rc\\.res$>
            ${resources} ${exports})
        target_link_libraries(${server}${name} PRIVATE $<TARGET_PROPERTY:${server},LINK_LIBRARIES>)
        # Ahead of the generated header that the linked libraries bring.
        target_include_directories(${server}${name} BEFORE PRIVATE ${generated})
        set_target_properties(${server}${name} PROPERTIES
            OUTPUT_NAME ${server}
            PREFIX ""
            RUNTIME_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder}
            ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${folder})
        # The resources name the type library the server's build compiles.
        add_dependencies(${server}${name} ${server})
    endforeach()
endfunction()

quillon_servers_at(Next ${PROJECT_VERSION_MAJOR} ${next_patch})
quillon_servers_at(Previous ${previous_major} ${PROJECT_VERSION_PATCH})
