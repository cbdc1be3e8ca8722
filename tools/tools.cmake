# The demo cartridge: built from source by our own assembler in tools/, written beside the
# programs as demo.gb (the desktop program offers it in its menu).
# The assembler and the program are a library, shared by the tool and the tests.
add_library(tov_demorom STATIC ${CMAKE_CURRENT_LIST_DIR}/demorom.cpp)
target_include_directories(tov_demorom PUBLIC ${CMAKE_CURRENT_LIST_DIR})
add_executable(mkdemo ${CMAKE_CURRENT_LIST_DIR}/mkdemo.cpp)
target_link_libraries(mkdemo PRIVATE tov_demorom)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/demo.gb
                   COMMAND mkdemo ${CMAKE_BINARY_DIR}/demo.gb
                   DEPENDS mkdemo
                   COMMENT "Assembling the demo cartridge")
add_custom_target(demo ALL DEPENDS ${CMAKE_BINARY_DIR}/demo.gb)
