# Variables panel tests: the slider's value mapping and tooltips, the panel's
# views, tuning and the tune button.
helmdeck_add_test(tst_varslider SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_varslider.cpp ${CMAKE_CURRENT_LIST_DIR}/windowtestsupport.h
  LIBS helmdeck_window helmdeck_samples)
helmdeck_add_test(tst_varspanel SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_varspanel.cpp ${CMAKE_CURRENT_LIST_DIR}/windowtestsupport.h
  LIBS helmdeck_window helmdeck_samples)
