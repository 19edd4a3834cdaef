# The plug-in object, its script vocabulary and the shared library the host
# loads. Only GetLibraryVersion and RegisterLibraryContents are exported.
add_library(helmdeck_plugin STATIC
  optimhelmdeckplugin.h optimhelmdeckplugin.cpp
  optimmoxvocabulary.h optimmoxvocabulary.cpp
)
target_link_libraries(helmdeck_plugin PUBLIC helmdeck_helmdeck helmdeck_link platform_units Qt6::Widgets
  PRIVATE helmdeck_flags)

add_library(OptimHelmdeck SHARED libraryentry.cpp)
target_link_libraries(OptimHelmdeck PRIVATE helmdeck_plugin helmdeck_flags)
# Keep the static libraries' symbols out of the dynamic table.
target_link_options(OptimHelmdeck PRIVATE -Wl,--exclude-libs,ALL)
set_target_properties(OptimHelmdeck PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
