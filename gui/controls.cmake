# Standard controls of the GUI toolkit: rotary and strip knobs, sliders, buttons, splash areas.
add_library(flanger_controls STATIC
  ${CMAKE_CURRENT_LIST_DIR}/controls/DragMath.cpp
  ${CMAKE_CURRENT_LIST_DIR}/controls/ControlDrawing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/controls/RotaryKnob.cpp
  ${CMAKE_CURRENT_LIST_DIR}/controls/LinearSlider.cpp
  ${CMAKE_CURRENT_LIST_DIR}/controls/Buttons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/controls/SplashArea.cpp)
target_include_directories(flanger_controls PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_features(flanger_controls PUBLIC cxx_std_20)
target_link_libraries(flanger_controls PUBLIC flanger_views PRIVATE flanger_warnings)
