# The desktop program on a virtual display (needs the demo cartridge target of tools/tools.cmake).
if(TOV_GUI AND TARGET tov AND TARGET demo)
  # Files are dropped on the window by a small XDND source (where the X11 headers are there).
  find_package(X11 QUIET)
  set(smoke_drop "")
  if(X11_FOUND)
    add_executable(xdnddrop ${CMAKE_CURRENT_LIST_DIR}/xdnddrop.c)
    target_include_directories(xdnddrop PRIVATE ${X11_INCLUDE_DIR})
    target_link_libraries(xdnddrop PRIVATE ${X11_LIBRARIES})
    set(smoke_drop $<TARGET_FILE:xdnddrop>)
  endif()
  add_test(NAME smoke_window
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/smoke.sh $<TARGET_FILE:tov> ${CMAKE_BINARY_DIR}/demo.gb ${smoke_drop})
  set_tests_properties(smoke_window PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
