# A second compiler for the same target: Debian's clang and lld, building against the MinGW-w64
# headers and libraries and GCC's libstdc++, so that code which only GCC accepts shows up here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(MORVANE_MINGW_SYSROOT /usr/${MORVANE_MINGW_TRIPLE})
# GCC's MinGW-w64 posix-thread folder (libstdc++ and its headers below include/c++), newest first.
file(GLOB MORVANE_MINGW_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/${MORVANE_MINGW_TRIPLE}/*-posix)
list(SORT MORVANE_MINGW_GCC_DIRS COMPARE NATURAL ORDER DESCENDING)
list(GET MORVANE_MINGW_GCC_DIRS 0 MORVANE_MINGW_GCC_DIR_FOUND)
set(MORVANE_MINGW_GCC_DIR ${MORVANE_MINGW_GCC_DIR_FOUND} CACHE PATH "GCC's MinGW-w64 posix-thread library folder")

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MORVANE_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${MORVANE_MINGW_TRIPLE})
# LLVM's resource compiler; Debian keeps it beside clang's versioned binaries only. GNU windres
# stands in where it is missing.
file(GLOB MORVANE_LLVM_BIN_DIRS LIST_DIRECTORIES true /usr/lib/llvm-*/bin)
find_program(MORVANE_LLVM_WINDRES NAMES llvm-windres PATHS ${MORVANE_LLVM_BIN_DIRS})
if(MORVANE_LLVM_WINDRES)
  set(CMAKE_RC_COMPILER ${MORVANE_LLVM_WINDRES})
else()
  set(CMAKE_RC_COMPILER ${MORVANE_MINGW_TRIPLE}-windres)
endif()
set(CMAKE_AR llvm-ar)
set(CMAKE_RANLIB llvm-ranlib)
set(CMAKE_SYSROOT ${MORVANE_MINGW_SYSROOT})

# Without a C++ library of its own for this target, clang uses GCC's; that library keeps its
# thread-local variables the emulated way, so ours must too.
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
set(CMAKE_CXX_FLAGS_INIT
    "-femulated-tls -isystem ${MORVANE_MINGW_GCC_DIR}/include/c++ -isystem ${MORVANE_MINGW_GCC_DIR}/include/c++/${MORVANE_MINGW_TRIPLE}")
# Checks GCC's -Wall -Wextra leave out, cheap to keep clean here.
string(APPEND CMAKE_CXX_FLAGS_INIT " -Wshadow -Wimplicit-fallthrough -Wunreachable-code -Wconditional-uninitialized")
set(CMAKE_RC_FLAGS_INIT "--target=pe-x86-64")
# libstdc++ was built over winpthreads, which clang does not add by itself; lld finds archives in any order.
set(MORVANE_LINK_FLAGS "-fuse-ld=lld -L${MORVANE_MINGW_GCC_DIR} -static -lpthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${MORVANE_LINK_FLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${MORVANE_LINK_FLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${MORVANE_LINK_FLAGS}")

set(CMAKE_FIND_ROOT_PATH ${MORVANE_MINGW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tests/wine-run.sh")
