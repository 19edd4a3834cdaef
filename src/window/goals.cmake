# The goals panel and its views: error text, contributions, error history,
# goal table and the per-goal plots.
target_sources(helmdeck_window PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/errorhistoryview.h ${CMAKE_CURRENT_LIST_DIR}/errorhistoryview.cpp
  ${CMAKE_CURRENT_LIST_DIR}/goalviews.h ${CMAKE_CURRENT_LIST_DIR}/goalviews.cpp
)
