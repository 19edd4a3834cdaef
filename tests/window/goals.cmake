# The goals panel: its views, the shared goal selection, the display
# settings and stale results.
helmdeck_add_test(tst_goalspanel SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_goalspanel.cpp ${CMAKE_CURRENT_LIST_DIR}/windowtestsupport.h
  LIBS helmdeck_window helmdeck_samples)
