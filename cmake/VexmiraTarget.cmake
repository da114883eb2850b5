# SPDX-License-Identifier: GPL-3.0-or-later
# Per-target settings shared by every library, program and test of the project.

# lld links the many test programs in a fraction of the default linker's time.
find_program(VEXMIRA_LLD ld.lld)

function(vexmira_configure_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # Qt Test's QSKIP takes its message alone through a variadic macro.
    target_compile_options(${target} PRIVATE -Wno-gnu-zero-variadic-macro-arguments)
  endif()
  if(VEXMIRA_LLD)
    target_link_options(${target} PRIVATE -fuse-ld=lld)
  endif()
  if(VEXMIRA_SANITIZE)
    # Line tables are all a sanitizer's report needs; -O1 keeps its stacks exact and builds
    # in far less time than the build type's -O2 -g.
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined -O1 -g1)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(VEXMIRA_FUZZ)
    # Coverage for the fuzzer in every library it reaches; only the fuzzer links its driver.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
                                             -fno-omit-frame-pointer -fno-sanitize-recover=undefined
                                             -O1 -g1)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
