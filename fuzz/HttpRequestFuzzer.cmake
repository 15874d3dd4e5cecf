# The libFuzzer target of the HTTP request parser (clang): the sources it fuzzes are built
# into it with the fuzzer's instrumentation. Its seeds are fuzz/http_request/, which also
# keeps every input that ever failed, as a regression case.
find_package(ZLIB REQUIRED)
add_executable(http_request_fuzzer
    ${PROJECT_SOURCE_DIR}/fuzz/http_request_fuzzer.cpp
    ${PROJECT_SOURCE_DIR}/hosts/serve/Gzip.cpp
    ${PROJECT_SOURCE_DIR}/hosts/serve/HttpMessage.cpp
    ${PROJECT_SOURCE_DIR}/hosts/common/PrintableText.cpp
    ${PROJECT_SOURCE_DIR}/platform/common/Utf8.cpp
)
target_include_directories(http_request_fuzzer PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(http_request_fuzzer PRIVATE
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
target_link_options(http_request_fuzzer PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(http_request_fuzzer PRIVATE ZLIB::ZLIB)
