# 64-bit Windows: the unit tests alone, which 64-bit wine runs on any machine.
set(KOVRA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
