# One interface target that carries the project's warnings and sanitizer
# flags; every library and program links it.
add_library(tools_settings INTERFACE)
target_compile_options(tools_settings INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor
                                               -Wno-missing-field-initializers)
# GCC 12 reports -Wrestrict on std::string concatenation in optimised builds
# (a false positive fixed in GCC 13); it says nothing about our code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(tools_settings INTERFACE -Wno-restrict)
endif()
if(ORVO_SANITIZE)
  target_compile_options(tools_settings INTERFACE -fsanitize=address,undefined
                                                 -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(tools_settings INTERFACE -fsanitize=address,undefined)
endif()
if(ORVO_BUILD_FUZZ)
  # Coverage guides the fuzzers through the libraries they link and through
  # their own entry points; the test and command-line programs need none,
  # and compile and run faster without it.
  set(ORVO_COVERED "$<OR:$<NOT:$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>>,$<STREQUAL:$<TARGET_PROPERTY:SOURCE_DIR>,${PROJECT_SOURCE_DIR}/fuzz>>")
  target_compile_options(tools_settings INTERFACE $<${ORVO_COVERED}:-fsanitize=fuzzer-no-link>
                                                 -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(tools_settings INTERFACE -fsanitize=address,undefined)
endif()
# LLVM's linker, where installed, links the test programs several times
# faster than the BFD linker.
find_program(ORVO_LLD ld.lld)
if(ORVO_LLD)
  target_link_options(tools_settings INTERFACE -fuse-ld=lld)
endif()
