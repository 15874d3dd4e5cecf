# The include graph follows the layout: each folder may include its own headers and those of
# the folders below it, never those of a folder that builds on it. Run by CTest:
#   cmake -DSOURCE_DIR=<checkout> -P tests/layout/CheckIncludes.cmake
# Each rule: a folder (the longest matching one applies), "|", then what its files may include,
# separated by commas.
# "<generated>" allows headers the build generates next to a target (no folder in the name).
set(rules
    "platform/winapi/|platform/winapi/,platform/common/ReferenceCount.h"
    "platform/common/|platform/common/,platform/Platform.h"
    "platform/runtime/|platform/runtime/,platform/winapi/,platform/common/,platform/Platform.h,platform/Runtime.h"
    "platform/serverkit/windows/|platform/serverkit/,platform/common/,platform/Platform.h,platform/Runtime.h,component/contract/QuillonVersion.h"
    "platform/serverkit/|platform/serverkit/,platform/common/,platform/runtime/,platform/Platform.h,platform/Runtime.h"
    "platform/|platform/winapi/,platform/runtime/,platform/Platform.h"
    "component/state/|component/state/,platform/Platform.h"
    "component/contract/|component/contract/,component/state/SymbolLimits.h,component/state/SymbolOptions.h,platform/common/,platform/Platform.h"
    # The MicroPDF417 size choice compares sizes by their modules, which the rows count.
    "encoder/|encoder/,component/state/,platform/Platform.h,render/SymbolGeometry.h"
    "render/|render/,encoder/,component/state/,platform/Platform.h"
    "png/|png/,component/state/,platform/Platform.h"
    "component/|component/,platform/common/,platform/Platform.h"
    "server/|server/,component/,platform/serverkit/,platform/runtime/,platform/Platform.h,<generated>"
    "converter/|converter/,platform/serverkit/,platform/common/,platform/runtime/,platform/Platform.h,<generated>"
    # The session sizes pictures in modules, which the measured width counts as the drawing does;
    # a compressed PNG's CRC is the component's own.
    "library/|library/,quillon/,component/contract/,platform/common/,platform/Platform.h,platform/Runtime.h,render/SymbolGeometry.h,png/Crc32.h"
    # The hosts call libquillon; of its insides they use only what any text needs. The command
    # line names the server built into it by the record the build declares.
    "hosts/|hosts/,quillon/,library/PageHooks.h,library/session/PrintableText.h,library/session/Suggestion.h,component/contract/,platform/common/,platform/Platform.h,platform/Runtime.h,<generated>"
    "fuzz/|fuzz/,hosts/,library/session/PrintableText.h,library/compact/CompactPng.h,component/contract/,converter/IConverter.h,platform/common/,platform/runtime/,platform/Platform.h,platform/Runtime.h"
)

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/platform/*" "${SOURCE_DIR}/component/*" "${SOURCE_DIR}/encoder/*"
     "${SOURCE_DIR}/render/*" "${SOURCE_DIR}/png/*" "${SOURCE_DIR}/server/*"
     "${SOURCE_DIR}/converter/*" "${SOURCE_DIR}/library/*" "${SOURCE_DIR}/hosts/*"
     "${SOURCE_DIR}/fuzz/*")
list(FILTER sources INCLUDE REGEX "\\.(h|cpp|in)$")

set(violations "")
foreach(source IN LISTS sources)
    # The rule of the longest folder the file is in.
    set(allowed "")
    set(matched "")
    foreach(rule IN LISTS rules)
        string(REPLACE "|" ";" parts "${rule}")
        list(GET parts 0 folder)
        list(GET parts 1 prefixes)
        string(LENGTH "${folder}" length)
        string(LENGTH "${matched}" matched_length)
        string(FIND "${source}" "${folder}" at)
        if(at EQUAL 0 AND length GREATER matched_length)
            set(matched "${folder}")
            string(REPLACE "," ";" allowed "${prefixes}")
        endif()
    endforeach()

    file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
        set(ok FALSE)
        foreach(prefix IN LISTS allowed)
            if(prefix STREQUAL "<generated>")
                if(NOT header MATCHES "/")
                    set(ok TRUE)
                endif()
            else()
                string(FIND "${header}" "${prefix}" at)
                if(at EQUAL 0)
                    set(ok TRUE)
                endif()
            endif()
        endforeach()
        if(NOT ok)
            string(APPEND violations "  ${source} includes ${header}\n")
        endif()
    endforeach()
endforeach()

list(LENGTH sources count)
if(violations)
    message(FATAL_ERROR "Includes against the layout:\n${violations}")
endif()
message(STATUS "${count} files include only what their folder may")
