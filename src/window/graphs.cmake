# Graph primitives: history graphs, goal plots, the bar graph and the colour
# sets of goals and variables.
target_sources(helmdeck_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/colorset.h ${CMAKE_CURRENT_LIST_DIR}/colorset.cpp
  ${CMAKE_CURRENT_LIST_DIR}/graphwidget.h ${CMAKE_CURRENT_LIST_DIR}/graphwidget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/goalgraphwidget.h ${CMAKE_CURRENT_LIST_DIR}/goalgraphwidget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bargraph.h ${CMAKE_CURRENT_LIST_DIR}/bargraph.cpp
)
