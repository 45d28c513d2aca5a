# The parameter table (flanger_parameters): its own target, so the signal path can read it
# without depending on the effect class.
add_library(flanger_parameters STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ParameterTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FlangerParameters.cpp)
target_include_directories(flanger_parameters PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_features(flanger_parameters PUBLIC cxx_std_20)
target_link_libraries(flanger_parameters PRIVATE flanger_warnings)
