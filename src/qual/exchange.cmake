# The field exchange of both studies' records with a form or the command line.
add_library(korvane_exchange STATIC
  ${CMAKE_CURRENT_LIST_DIR}/exchange.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qual_fields.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../quan/quan_fields.cpp)
target_include_directories(korvane_exchange PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(korvane_exchange PUBLIC fmt::fmt korvane_refdata PRIVATE korvane_warnings)
