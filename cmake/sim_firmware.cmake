# Small MSP430 programs (tests/chip/firmware/) for the virtual board's tests and benchmarks, built
# with clang and ld.lld when the probe in examples.cmake found an MSP430 clang. Without one the
# tests that need them skip, saying why.
set(KESTO_SIM_FIRMWARE_SOURCE ${CMAKE_SOURCE_DIR}/tests/chip/firmware)
set(KESTO_SIM_FIRMWARE_BUILD ${CMAKE_BINARY_DIR}/sim_firmware)
set(KESTO_SIM_FIRMWARE_NAMES watchdog timers uart busy sleeper late_uart restart)

if(KESTO_CLANG AND KESTO_LD_LLD AND KESTO_MSP430_PROBE EQUAL 0)
  set(KESTO_SIM_FIRMWARE_FILES)
  foreach(name ${KESTO_SIM_FIRMWARE_NAMES})
    set(elf ${KESTO_SIM_FIRMWARE_BUILD}/${name}.elf)
    add_custom_command(OUTPUT ${elf}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTO_SIM_FIRMWARE_BUILD}
      COMMAND ${KESTO_CLANG} --target=msp430 -Os -ffreestanding -Wall -Wextra -Werror
              -c ${KESTO_SIM_FIRMWARE_SOURCE}/${name}.c -o ${KESTO_SIM_FIRMWARE_BUILD}/${name}.o
      COMMAND ${KESTO_LD_LLD} -m msp430elf -T ${KESTO_SIM_FIRMWARE_SOURCE}/firmware.ld
              ${KESTO_SIM_FIRMWARE_BUILD}/${name}.o -o ${elf}
      DEPENDS ${KESTO_SIM_FIRMWARE_SOURCE}/${name}.c ${KESTO_SIM_FIRMWARE_SOURCE}/board_firmware.h
              ${KESTO_SIM_FIRMWARE_SOURCE}/firmware.ld
      VERBATIM)
    list(APPEND KESTO_SIM_FIRMWARE_FILES ${elf})
  endforeach()
  add_custom_target(kesto_sim_firmware DEPENDS ${KESTO_SIM_FIRMWARE_FILES})
endif()

function(kesto_sim_firmware_for target)
  if(TARGET kesto_sim_firmware)
    add_dependencies(${target} kesto_sim_firmware)
  endif()
  target_compile_definitions(${target} PRIVATE KESTO_SIM_FIRMWARE="${KESTO_SIM_FIRMWARE_BUILD}")
endfunction()

if(KESTO_TESTS)
  function(kesto_sim_firmware_wire_tests)
    kesto_sim_firmware_for(kesto_tests)
  endfunction()
  # The test binary is declared after the files under cmake/ are read.
  cmake_language(DEFER CALL kesto_sim_firmware_wire_tests)
endif()
