# The simulator link: the plug-in's side of KUVO.
add_library(helmdeck_link STATIC
  optimabstractsimifc.h optimabstractsimifc.cpp
  optimhostcalls.h optimhostcalls.cpp
  optimdatablock.h optimdatablock.cpp
  optimkuvolink.h optimkuvolink.cpp
  optimsimifc.h optimsimifc.cpp
)
target_link_libraries(helmdeck_link PUBLIC helmdeck_model helmdeck_hostifc Qt6::Core PRIVATE helmdeck_flags)
