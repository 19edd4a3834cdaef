# The options dialog and the history-graph menu.
helmdeck_add_test(tst_helmdeckoptions SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_helmdeckoptions.cpp ${CMAKE_CURRENT_LIST_DIR}/windowtestsupport.h
  LIBS helmdeck_window helmdeck_samples)
