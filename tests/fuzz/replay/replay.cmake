# Every fuzz target's entry point, built without libFuzzer into replay_<name>, runs once on
# its seed corpus (tests/fuzz/corpus/<name>/) and on the inputs of past findings
# (tests/fuzz/regressions/<name>/) as an ordinary test, so that a finding once mended stays
# mended in the optimised and the sanitizer builds alike.
file(GLOB replay_srcs CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp")
foreach(src ${replay_srcs})
  get_filename_component(target ${src} NAME_WE)
  string(REGEX REPLACE "^fuzz_" "" name ${target})
  add_executable(replay_${name} ${src} ${CMAKE_SOURCE_DIR}/tests/fuzz/replay/replaymain.cpp)
  target_include_directories(replay_${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
  target_link_libraries(replay_${name} PRIVATE tov_emu)
  add_test(NAME fuzzreplay.${name}
           COMMAND replay_${name} "${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name}"
                   "${CMAKE_SOURCE_DIR}/tests/fuzz/regressions/${name}")
  set_tests_properties(fuzzreplay.${name} PROPERTIES TIMEOUT 300 LABELS fuzzreplay)
endforeach()
