# Tests of the parameter table (flanger_parameters); the note table comes from flanger_dsp.
flanger_add_test(effect_parameters_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ParameterTableTest.cpp ${CMAKE_CURRENT_LIST_DIR}/FlangerParametersTest.cpp
  LIBS flanger_parameters flanger_dsp)
