# The desktop program on a virtual display (needs the demo cartridge target of tools/tools.cmake).
if(TOV_GUI AND TARGET tov AND TARGET demo)
  add_test(NAME smoke_window
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/smoke.sh $<TARGET_FILE:tov> ${CMAKE_BINARY_DIR}/demo.gb)
  set_tests_properties(smoke_window PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 400)
endif()
