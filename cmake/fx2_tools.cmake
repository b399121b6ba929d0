# The fx_2_0 effect writer (tools/fx2): a portable library used by the
# native tests and by the Windows side (the texloom-fxo command and the
# tests under Wine). Included by both builds.
if(NOT TARGET texloom_fx2)
  file(GLOB TEXLOOM_FX2_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/fx2/*.cpp)
  add_library(texloom_fx2 STATIC ${TEXLOOM_FX2_SOURCES})
  target_include_directories(texloom_fx2 PUBLIC ${CMAKE_SOURCE_DIR}/tools)
  target_compile_options(texloom_fx2 PRIVATE ${TEXLOOM_WARNINGS})
endif()

if(TARGET texloom_tests)
  file(GLOB TEXLOOM_FX2_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fx2/*.cpp)
  target_sources(texloom_tests PRIVATE ${TEXLOOM_FX2_TESTS})
  target_link_libraries(texloom_tests PRIVATE texloom_fx2)
endif()

# Windows side (the posix-model test configuration): D3DX at run time, the
# texloom-fxo command beside the test programs.
if(WIN32 AND NOT TARGET texloom_fx2_d3dx)
  add_library(texloom_fx2_d3dx STATIC ${CMAKE_SOURCE_DIR}/tools/fx2/windows/d3dx_library.cpp)
  target_include_directories(texloom_fx2_d3dx PUBLIC ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(texloom_fx2_d3dx PUBLIC texloom_fx2)
  add_executable(texloom-fxo ${CMAKE_SOURCE_DIR}/tools/fx2/windows/texloom_fxo_main.cpp)
  target_link_libraries(texloom-fxo PRIVATE texloom_fx2_d3dx)
  target_link_options(texloom-fxo PRIVATE -static -static-libgcc -static-libstdc++)
endif()
