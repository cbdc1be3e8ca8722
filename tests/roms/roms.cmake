# Public test ROMs run through the headless runner. Each test is skipped (return code 77)
# when the test ROM folder is missing.
set(tov_runrom "${CMAKE_CURRENT_LIST_DIR}/runrom.sh")
set(tov_blargg "${TOV_TESTROMS}/blargg")

# name, ROM path, frame limit, labels, extra runner options
function(tov_rom_test name rom frames labels)
  add_test(NAME ${name}
           COMMAND sh ${tov_runrom} $<TARGET_FILE:tov-run> ${rom}
                   --until-done --frames ${frames} ${ARGN})
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600
                       PASS_REGULAR_EXPRESSION "result: passed" LABELS "roms;${labels}")
endfunction()

set(tov_cpu_instrs
  "01-special" "02-interrupts" "03-op sp,hl" "04-op r,imm" "05-op rp" "06-ld r,r"
  "07-jr,jp,call,ret,rst" "08-misc instrs" "09-op r,r" "10-bit ops" "11-op a,(hl)")

foreach(mode 0 1)
  foreach(rom ${tov_cpu_instrs})
    string(REGEX REPLACE "[^0-9A-Za-z]+" "_" id "${rom}")
    tov_rom_test(rom_cpu_instrs_${id}_mode${mode} "${tov_blargg}/cpu_instrs/individual/${rom}.gb"
                 2500 "cpu" --set SystemMode=${mode})
  endforeach()
  tov_rom_test(rom_cpu_instrs_all_mode${mode} "${tov_blargg}/cpu_instrs/cpu_instrs.gb"
               8000 "cpu;slow" --set SystemMode=${mode})
  tov_rom_test(rom_instr_timing_mode${mode} "${tov_blargg}/instr_timing/instr_timing.gb"
               1000 "cpu" --set SystemMode=${mode})
endforeach()

tov_rom_test(rom_halt_bug "${tov_blargg}/halt_bug.gb" 1000 "cpu" --set EmulateHaltBug=1)
# Interrupt dispatch time at normal and double speed (a GBC program).
tov_rom_test(rom_interrupt_time "${tov_blargg}/interrupt_time/interrupt_time.gb" 1000 "cpu" --set SystemMode=1)

# Sound registers, on the model each set is written for. Left out: the singles that read or
# write wave RAM while channel 3 plays (dmg 09, 10, 12; cgb 09, 12): they need the exact
# cycle at which the channel fetches its sample, which a unit rendered in batches has not.
set(tov_sound_common "01-registers" "02-len ctr" "03-trigger" "04-sweep" "05-sweep details"
  "06-overflow on trigger" "07-len sweep period sync" "08-len ctr during power" "11-regs after power")
foreach(model dmg cgb)
  set(roms ${tov_sound_common})
  if(model STREQUAL "cgb")
    list(APPEND roms "10-wave trigger while on")
    set(mode 1)
  else()
    set(mode 0)
  endif()
  foreach(rom ${roms})
    string(REGEX REPLACE "[^0-9A-Za-z]+" "_" id "${rom}")
    tov_rom_test(rom_${model}_sound_${id} "${tov_blargg}/${model}_sound/rom_singles/${rom}.gb"
                 1500 "sound" --set SystemMode=${mode})
  endforeach()
endforeach()

# The runner's own failure paths (no test ROMs needed).
add_test(NAME tov_run_bad_arguments COMMAND tov-run --frames many)
set_tests_properties(tov_run_bad_arguments PROPERTIES PASS_REGULAR_EXPRESSION "usage: tov-run" LABELS "roms")
add_test(NAME tov_run_missing_rom COMMAND tov-run ${CMAKE_CURRENT_BINARY_DIR}/no-such-rom.gb)
set_tests_properties(tov_run_missing_rom PROPERTIES PASS_REGULAR_EXPRESSION "loading rom failed: Cannot open file"
                     LABELS "roms")
