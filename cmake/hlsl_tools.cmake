# texloom-fxo, native: HLSL effect files compiled with vkd3d's compiler (a
# separate program, tools/hlsl/vkd3d-compiler) into the fx2 writer's
# container. The malformed-input test joins the native suite.
file(STRINGS ${CMAKE_SOURCE_DIR}/src/plugin/version.rc texloom_file_version REGEX "^ *FILEVERSION")
string(REGEX MATCH "([0-9]+),([0-9]+)" texloom_file_version "${texloom_file_version}")
set(TEXLOOM_FILE_VERSION_MAJOR ${CMAKE_MATCH_1})
set(TEXLOOM_FILE_VERSION_MINOR ${CMAKE_MATCH_2})

add_library(texloom_hlsl STATIC
  ${CMAKE_SOURCE_DIR}/tools/hlsl/hlsl_effect.cpp
  ${CMAKE_SOURCE_DIR}/tools/hlsl/hlsl_source.cpp
  ${CMAKE_SOURCE_DIR}/tools/hlsl/text_encoding.cpp
  ${CMAKE_SOURCE_DIR}/tools/hlsl/vkd3d_compiler.cpp)
target_include_directories(texloom_hlsl PUBLIC ${CMAKE_SOURCE_DIR}/tools)
target_compile_options(texloom_hlsl PRIVATE ${TEXLOOM_WARNINGS})
target_compile_definitions(texloom_hlsl PRIVATE
  TEXLOOM_VKD3D_WRAPPER="${CMAKE_SOURCE_DIR}/tools/hlsl/vkd3d-compiler"
  TEXLOOM_FILE_VERSION_MAJOR=${TEXLOOM_FILE_VERSION_MAJOR}u
  TEXLOOM_FILE_VERSION_MINOR=${TEXLOOM_FILE_VERSION_MINOR}u)
target_link_libraries(texloom_hlsl PUBLIC texloom_fx2)

add_executable(texloom-fxo-native ${CMAKE_SOURCE_DIR}/tools/hlsl/texloom_fxo_main.cpp)
set_target_properties(texloom-fxo-native PROPERTIES OUTPUT_NAME texloom-fxo)
target_link_libraries(texloom-fxo-native PRIVATE texloom_hlsl)

if(TARGET texloom_tests)
  file(GLOB TEXLOOM_HLSL_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/hlsl/*.cpp)
  target_sources(texloom_tests PRIVATE ${TEXLOOM_HLSL_TESTS})
  target_link_libraries(texloom_tests PRIVATE texloom_hlsl)
endif()
