# Graph primitives: history graphs, goal plots, bar graph, colour sets.
helmdeck_add_test(tst_graphs SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_graphs.cpp ${CMAKE_CURRENT_LIST_DIR}/windowtestsupport.h
  LIBS helmdeck_window helmdeck_samples)
