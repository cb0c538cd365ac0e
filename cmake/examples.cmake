# The example program, examples/blink/, built from its C source when clang, ld.lld and
# llvm-objcopy are found, together with the Intel HEX that llvm-objcopy makes of it: the tests
# program the ELF and compare with that. The tree keeps a prebuilt blink.elf and blink.hex, so
# that `make demo` needs no cross compiler; the target kesto_blink_example_update refreshes
# them from this build.
find_program(KESTO_CLANG clang)
find_program(KESTO_LD_LLD ld.lld)
find_program(KESTO_LLVM_OBJCOPY llvm-objcopy)

# Not every clang is built with the MSP430 backend: try it once.
if(KESTO_CLANG AND KESTO_LD_LLD AND KESTO_LLVM_OBJCOPY)
  file(WRITE ${CMAKE_BINARY_DIR}/msp430_probe.c "int probe;\n")
  execute_process(COMMAND ${KESTO_CLANG} --target=msp430 -c ${CMAKE_BINARY_DIR}/msp430_probe.c
                          -o ${CMAKE_BINARY_DIR}/msp430_probe.o
                  RESULT_VARIABLE KESTO_MSP430_PROBE OUTPUT_QUIET ERROR_QUIET)
  file(REMOVE ${CMAKE_BINARY_DIR}/msp430_probe.c ${CMAKE_BINARY_DIR}/msp430_probe.o)
endif()

if(KESTO_CLANG AND KESTO_LD_LLD AND KESTO_LLVM_OBJCOPY AND KESTO_MSP430_PROBE EQUAL 0)
  set(KESTO_BLINK_SOURCE ${CMAKE_SOURCE_DIR}/examples/blink)
  set(KESTO_BLINK_BUILD ${CMAKE_BINARY_DIR}/examples/blink)
  add_custom_command(OUTPUT ${KESTO_BLINK_BUILD}/blink.elf ${KESTO_BLINK_BUILD}/blink.hex
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTO_BLINK_BUILD}
    COMMAND ${KESTO_CLANG} --target=msp430 -Os -ffreestanding -Wall -Wextra -Werror
            -c ${KESTO_BLINK_SOURCE}/blink.c -o ${KESTO_BLINK_BUILD}/blink.o
    COMMAND ${KESTO_LD_LLD} -m msp430elf -T ${KESTO_BLINK_SOURCE}/msp430g2553.ld
            ${KESTO_BLINK_BUILD}/blink.o -o ${KESTO_BLINK_BUILD}/blink.elf
    COMMAND ${KESTO_LLVM_OBJCOPY} -O ihex ${KESTO_BLINK_BUILD}/blink.elf ${KESTO_BLINK_BUILD}/blink.hex
    DEPENDS ${KESTO_BLINK_SOURCE}/blink.c ${KESTO_BLINK_SOURCE}/msp430g2553.ld
    COMMENT "Building the example for the MSP430G2553 with clang and ld.lld"
    VERBATIM)
  add_custom_target(kesto_blink_example ALL
    DEPENDS ${KESTO_BLINK_BUILD}/blink.elf ${KESTO_BLINK_BUILD}/blink.hex)
  add_custom_target(kesto_blink_example_update
    COMMAND ${CMAKE_COMMAND} -E copy ${KESTO_BLINK_BUILD}/blink.elf ${KESTO_BLINK_BUILD}/blink.hex
            ${KESTO_BLINK_SOURCE}
    DEPENDS kesto_blink_example)

  if(KESTO_TESTS)
    # The ELF reader's test image with .text and .rodata in one segment, built the same way.
    set(KESTO_SHARED_SEGMENT_SOURCE ${CMAKE_SOURCE_DIR}/tests/image/data/shared_segment.c)
    set(KESTO_SHARED_SEGMENT_BUILD ${CMAKE_BINARY_DIR}/tests/image)
    add_custom_command(OUTPUT ${KESTO_SHARED_SEGMENT_BUILD}/shared_segment.elf ${KESTO_SHARED_SEGMENT_BUILD}/shared_segment.hex
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTO_SHARED_SEGMENT_BUILD}
      COMMAND ${KESTO_CLANG} --target=msp430 -Os -ffreestanding -Wall -Wextra -Werror
              -c ${KESTO_SHARED_SEGMENT_SOURCE} -o ${KESTO_SHARED_SEGMENT_BUILD}/shared_segment.o
      COMMAND ${KESTO_LD_LLD} -m msp430elf --no-rosegment -T ${KESTO_BLINK_SOURCE}/msp430g2553.ld
              ${KESTO_SHARED_SEGMENT_BUILD}/shared_segment.o -o ${KESTO_SHARED_SEGMENT_BUILD}/shared_segment.elf
      COMMAND ${KESTO_LLVM_OBJCOPY} -O ihex ${KESTO_SHARED_SEGMENT_BUILD}/shared_segment.elf
              ${KESTO_SHARED_SEGMENT_BUILD}/shared_segment.hex
      DEPENDS ${KESTO_SHARED_SEGMENT_SOURCE} ${KESTO_BLINK_SOURCE}/msp430g2553.ld
      VERBATIM)
    add_custom_target(kesto_shared_segment_image
      DEPENDS ${KESTO_SHARED_SEGMENT_BUILD}/shared_segment.elf ${KESTO_SHARED_SEGMENT_BUILD}/shared_segment.hex)
    function(kesto_examples_wire_tests)
      add_dependencies(kesto_tests kesto_blink_example kesto_shared_segment_image)
      target_compile_definitions(kesto_tests PRIVATE KESTO_BLINK_BUILD="${KESTO_BLINK_BUILD}"
                                 KESTO_SHARED_SEGMENT_BUILD="${KESTO_SHARED_SEGMENT_BUILD}")
    endfunction()
    # The test binary is declared after the files under cmake/ are read.
    cmake_language(DEFER CALL kesto_examples_wire_tests)
  endif()
else()
  message(STATUS "No clang for the MSP430, ld.lld or llvm-objcopy: the example is not built from C, and the "
                 "tests use the prebuilt copies")
endif()
