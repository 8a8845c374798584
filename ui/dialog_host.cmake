# morvel-dialog, the dialog's program: morvel hands a start that shows the
# dialog over to it (execv, same arguments), so morvel itself never loads
# Qt. Built beside morvel, where morvel looks first; installed under
# lib/morvel/, where an installed morvel finds it (../lib/morvel/ from bin/).
add_executable(morvel-dialog ${CMAKE_CURRENT_SOURCE_DIR}/dialog_host_main.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/dialog_host.cpp)
target_link_libraries(morvel-dialog PRIVATE morvel_ui morvel_app Qt6::Widgets)
set_target_properties(morvel-dialog PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
install(TARGETS morvel-dialog RUNTIME DESTINATION lib/morvel)
if(MORVEL_TESTS AND EXISTS ${CMAKE_SOURCE_DIR}/tests/ui/dialog_e2e.cmake)
  include(${CMAKE_SOURCE_DIR}/tests/ui/dialog_e2e.cmake)
endif()
