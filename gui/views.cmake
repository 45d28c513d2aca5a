# View layer of the GUI toolkit: views and controls, the frame view and its window, the knob mode.
add_library(flanger_views STATIC
  ${CMAKE_CURRENT_LIST_DIR}/View.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Control.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KnobMode.cpp)
target_include_directories(flanger_views PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_features(flanger_views PUBLIC cxx_std_20)
target_link_libraries(flanger_views PUBLIC flanger_gui PRIVATE ${CMAKE_DL_LIBS} flanger_warnings)
