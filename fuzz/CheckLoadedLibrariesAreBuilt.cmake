# A fuzz target loads at start the libraries its definitions name ($<TARGET_FILE:...>), so
# building the target alone must build them too. Run by CTest in a Ninja build:
#   cmake -DNINJA=<ninja> -DBUILD_DIR=<build> -DLIST=<fuzz-loaded-libraries.txt> -P THIS
# Each line of LIST: the target's name, then the files it loads, separated by spaces.
cmake_policy(SET CMP0057 NEW)  # if(IN_LIST)

file(STRINGS "${LIST}" lines)
set(faults "")
foreach(line IN LISTS lines)
    string(REPLACE " " ";" fields "${line}")
    list(POP_FRONT fields target)
    execute_process(COMMAND "${NINJA}" -C "${BUILD_DIR}" -t inputs "${target}"
                    OUTPUT_VARIABLE inputs RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "ninja cannot list the inputs of ${target}")
    endif()
    string(REPLACE "\n" ";" inputs "${inputs}")
    foreach(library IN LISTS fields)
        file(RELATIVE_PATH relative "${BUILD_DIR}" "${library}")
        if(NOT relative IN_LIST inputs)
            string(APPEND faults "\n  ${target} loads ${relative} but does not build it")
        endif()
    endforeach()
endforeach()
if(faults)
    message(FATAL_ERROR "fuzz targets built alone would fail at start:${faults}")
endif()
