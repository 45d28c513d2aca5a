# Choice menu of the GUI toolkit: the entry list, the popup tree built from it and the pick.
add_library(flanger_menu STATIC
  ${CMAKE_CURRENT_LIST_DIR}/menu/ChoiceMenu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/menu/PopupSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/menu/WindowPopupPresenter.cpp)
target_include_directories(flanger_menu PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_features(flanger_menu PUBLIC cxx_std_20)
target_link_libraries(flanger_menu PUBLIC flanger_views flanger_text_controls PRIVATE flanger_warnings)
