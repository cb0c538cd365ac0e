# Small MSP430 programs that the CPU tests run both in the virtual board's CPU and in mspdebug's
# simulator, comparing registers and RAM at the end. They need clang with the MSP430 backend and
# ld.lld (found in examples.cmake) and mspdebug; without them the comparison skips and says why.
find_program(KESTO_MSPDEBUG mspdebug)

if(KESTO_TESTS AND NOT WIN32 AND KESTO_CLANG AND KESTO_LD_LLD AND KESTO_MSP430_PROBE EQUAL 0)
  set(KESTO_CPU_PROGRAM_SOURCE ${CMAKE_SOURCE_DIR}/tests/chip/programs)
  set(KESTO_CPU_PROGRAM_BUILD ${CMAKE_BINARY_DIR}/tests/chip/programs)
  file(GLOB KESTO_CPU_PROGRAMS CONFIGURE_DEPENDS ${KESTO_CPU_PROGRAM_SOURCE}/*.s)
  set(KESTO_CPU_PROGRAM_ELFS)
  foreach(program ${KESTO_CPU_PROGRAMS})
    get_filename_component(name ${program} NAME_WE)
    set(elf ${KESTO_CPU_PROGRAM_BUILD}/${name}.elf)
    add_custom_command(OUTPUT ${elf}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTO_CPU_PROGRAM_BUILD}
      COMMAND ${KESTO_CLANG} --target=msp430 -c -I ${KESTO_CPU_PROGRAM_SOURCE} ${program}
              -o ${KESTO_CPU_PROGRAM_BUILD}/${name}.o
      COMMAND ${KESTO_LD_LLD} -m msp430elf -T ${KESTO_CPU_PROGRAM_SOURCE}/programs.ld
              ${KESTO_CPU_PROGRAM_BUILD}/${name}.o -o ${elf}
      DEPENDS ${program} ${KESTO_CPU_PROGRAM_SOURCE}/programs.ld ${KESTO_CPU_PROGRAM_SOURCE}/prelude.inc
      VERBATIM)
    list(APPEND KESTO_CPU_PROGRAM_ELFS ${elf})
  endforeach()
  add_custom_target(kesto_cpu_programs ALL DEPENDS ${KESTO_CPU_PROGRAM_ELFS})

  function(kesto_cpu_programs_wire_tests)
    add_dependencies(kesto_tests kesto_cpu_programs)
    target_compile_definitions(kesto_tests PRIVATE KESTO_CPU_PROGRAM_BUILD="${KESTO_CPU_PROGRAM_BUILD}")
    if(KESTO_MSPDEBUG)
      target_compile_definitions(kesto_tests PRIVATE KESTO_MSPDEBUG="${KESTO_MSPDEBUG}")
    endif()
  endfunction()
  cmake_language(DEFER CALL kesto_cpu_programs_wire_tests)
endif()
