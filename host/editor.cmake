# Editor base classes: the frame editor and the bitmap editor with its control factory.
add_library(flanger_editor_base STATIC
  ${CMAKE_CURRENT_LIST_DIR}/FrameEditor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BitmapEditor.cpp)
target_include_directories(flanger_editor_base PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_features(flanger_editor_base PUBLIC cxx_std_20)
target_link_libraries(flanger_editor_base PUBLIC flanger_host flanger_views flanger_controls flanger_text_controls
  flanger_parameters flanger_version PRIVATE flanger_menu flanger_warnings)
