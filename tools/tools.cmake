# The demo cartridge: built from source by our own assembler in tools/, written beside the
# programs as demo.gb (the desktop program offers it in its menu).
add_executable(mkdemo ${CMAKE_CURRENT_LIST_DIR}/mkdemo.cpp ${CMAKE_CURRENT_LIST_DIR}/demorom.cpp)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/demo.gb
                   COMMAND mkdemo ${CMAKE_BINARY_DIR}/demo.gb
                   DEPENDS mkdemo
                   COMMENT "Assembling the demo cartridge")
add_custom_target(demo ALL DEPENDS ${CMAKE_BINARY_DIR}/demo.gb)
