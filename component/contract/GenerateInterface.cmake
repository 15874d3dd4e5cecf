# The component's interface is written once, in component/contract/IQuillon.toml, and the files
# that repeat it are generated from it when CMake configures (so in every build: Linux, Windows,
# sanitizer, fuzz), each under generated/ where it would stand in the sources, rewritten only
# when its text changes. Those that other folders build from:
#   QUILLON_IDL          generated/server/TarvexQuillon.idl    the type library (widl compiles it)
#   QUILLON_SCRIPT       generated/server/TarvexQuillon.rgs    the registration script
#   QUILLON_TYPE_TABLE   generated/server/QuillonTypeLib.cpp   the type library as Linux's tables
#   QUILLON_DEMO_PAGE    generated/hosts/serve/DemoPage.html   the demo page, its form filled in
#   QUILLON_ACCESSORS    generated/component/QuillonAccessors.cpp  the plain accessors
# and component/contract/IQuillon.h and QuillonPropertyTable.inc, which QuillonContract's
# include folder carries. Included by the top-level CMakeLists.txt, before any folder uses them.
find_package(Python3 3.11 REQUIRED COMPONENTS Interpreter)
find_program(QUILLON_CLANG_FORMAT clang-format)
mark_as_advanced(QUILLON_CLANG_FORMAT)

set(QUILLON_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
set(QUILLON_INTERFACE_GENERATOR ${CMAKE_CURRENT_LIST_DIR}/generate_interface.py)
# The C++ files come formatted as the sources are when the build has clang-format.
set(quillon_format)
if(QUILLON_CLANG_FORMAT)
    set(quillon_format --clang-format ${QUILLON_CLANG_FORMAT})
endif()
execute_process(
    COMMAND ${Python3_EXECUTABLE} ${QUILLON_INTERFACE_GENERATOR}
            --out-dir ${QUILLON_GENERATED_DIR} ${quillon_format}
    RESULT_VARIABLE quillon_generated)
if(NOT quillon_generated EQUAL 0)
    message(FATAL_ERROR "generate_interface.py could not generate the interface's files")
endif()
unset(quillon_format)
unset(quillon_generated)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${QUILLON_INTERFACE_GENERATOR}
    ${CMAKE_CURRENT_LIST_DIR}/interface_table.py
    ${CMAKE_CURRENT_LIST_DIR}/IQuillon.toml
    ${PROJECT_SOURCE_DIR}/server/TarvexQuillon.rgs.in
    ${PROJECT_SOURCE_DIR}/hosts/serve/DemoPage.html)

set(QUILLON_IDL ${QUILLON_GENERATED_DIR}/server/TarvexQuillon.idl)
set(QUILLON_SCRIPT ${QUILLON_GENERATED_DIR}/server/TarvexQuillon.rgs)
set(QUILLON_TYPE_TABLE ${QUILLON_GENERATED_DIR}/server/QuillonTypeLib.cpp)
set(QUILLON_DEMO_PAGE ${QUILLON_GENERATED_DIR}/hosts/serve/DemoPage.html)
set(QUILLON_ACCESSORS ${QUILLON_GENERATED_DIR}/component/QuillonAccessors.cpp)
