# Text controls of the GUI toolkit: value display, text and number fields and their edit box.
add_library(flanger_text_controls STATIC
  ${CMAKE_CURRENT_LIST_DIR}/text/TextFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text/ValueDisplay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text/EditBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text/TextField.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text/NumberField.cpp)
target_include_directories(flanger_text_controls PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_features(flanger_text_controls PUBLIC cxx_std_20)
target_link_libraries(flanger_text_controls PUBLIC flanger_views PRIVATE flanger_warnings)
