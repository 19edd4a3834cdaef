# The variables panel: tuning sliders, history graphs with typed values, the
# text view and the tune button.
target_sources(helmdeck_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/varsliderwidget.h ${CMAKE_CURRENT_LIST_DIR}/varsliderwidget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/varsliderview.h ${CMAKE_CURRENT_LIST_DIR}/varsliderview.cpp
  ${CMAKE_CURRENT_LIST_DIR}/varhistoryview.h ${CMAKE_CURRENT_LIST_DIR}/varhistoryview.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vartextview.h ${CMAKE_CURRENT_LIST_DIR}/vartextview.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tunebutton.h ${CMAKE_CURRENT_LIST_DIR}/tunebutton.cpp
)
