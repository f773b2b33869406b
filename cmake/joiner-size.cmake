# KELMORIX.EXE travels on the first floppy of every set and inside the
# slicer, which writes it beside portion 0: every byte of it costs room on a
# disk. So on Windows the joiner and every library it links are built for
# size, and this one function says how:
#   -Os, no exceptions, no RTTI, no unwind tables;
#   each function in a section of its own (and each datum, unless the target
#   asks NO_DATA_SECTIONS: zero-filled tables would then be stored as data),
#   so that the joiner's link, with --gc-sections, keeps only what it calls;
#   the C library's own printf (the portable one C++ mode picks by default
#   adds some 16 KiB);
#   link-time optimisation of the joiner as one program: the libraries carry
#   both their code and its compiler form (-ffat-lto-objects), so the joiner
#   is optimised whole for size while every other program links their
#   ordinary code as before.
# For the joiner program itself also: stripped, unreferenced sections
# dropped, and the size gate (cmake/check-size.cmake), which prints the size
# and the imported DLLs on every build and fails it above the ceiling or on
# any DLL but the kernel's and the C runtime's.
# Elsewhere (Linux, the fuzz build) it does nothing: there the same
# libraries are built for speed.
set(JOINER_SIZE_LIMIT 65536)

function(joiner_size_settings target)
  if(NOT WIN32)
    return()
  endif()
  target_compile_options(${target} PRIVATE -Os -fno-exceptions -fno-rtti
                         -fno-asynchronous-unwind-tables -ffunction-sections
                         -flto -ffat-lto-objects)
  if(NOT "NO_DATA_SECTIONS" IN_LIST ARGN)
    target_compile_options(${target} PRIVATE -fdata-sections)
  endif()
  target_compile_definitions(${target} PRIVATE __USE_MINGW_ANSI_STDIO=0)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE -flto -Os -s -Wl,--gc-sections)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> -DLIMIT=${JOINER_SIZE_LIMIT}
              -DOBJDUMP=${CMAKE_OBJDUMP} -DIMPORTS=KERNEL32.dll,msvcrt.dll
              -P ${PROJECT_SOURCE_DIR}/cmake/check-size.cmake
      VERBATIM)
  endif()
endfunction()
