# Cross-building the Windows DLLs on Linux with mingw-w64 (32-bit):
#   cmake -S . -B build/windows-i686 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# The 64-bit build's `msi` target makes such a build of its own (packaging/windows/).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUILLON_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# On 32-bit x86, double arithmetic defaults to the x87 unit, whose 80-bit intermediates can
# round the module geometry otherwise than x86-64 does: SSE2 arithmetic is the 64-bit build's.
# Every processor that runs a supported 32-bit Windows has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
