# The options dialog and the history-graph context menu.
target_sources(helmdeck_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/helmdeckoptionsdialog.h ${CMAKE_CURRENT_LIST_DIR}/helmdeckoptionsdialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/historygraphmenu.h ${CMAKE_CURRENT_LIST_DIR}/historygraphmenu.cpp
)
