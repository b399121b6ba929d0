# texloom-run (tools/run): runs an effect over a clip through texloom.auf
# under Wine. A native Linux program; its tests join texloom_tests, against
# a native stand-in for texloom-host.exe. Included by the native build.
file(GLOB TEXLOOM_RUN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/run/*.cpp)
list(FILTER TEXLOOM_RUN_SOURCES EXCLUDE REGEX "run_main\\.cpp$")
add_library(texloom_run_lib STATIC ${TEXLOOM_RUN_SOURCES})
target_include_directories(texloom_run_lib PUBLIC ${CMAKE_SOURCE_DIR}/tools)
target_compile_options(texloom_run_lib PRIVATE ${TEXLOOM_WARNINGS})

add_executable(texloom-run ${CMAKE_SOURCE_DIR}/tools/run/run_main.cpp)
target_compile_options(texloom-run PRIVATE ${TEXLOOM_WARNINGS})
target_link_libraries(texloom-run PRIVATE texloom_run_lib)

if(TARGET texloom_tests)
  # Speaks texloom-host.exe's run mode natively, with a known transform.
  add_executable(texloom_run_fake_host ${CMAKE_SOURCE_DIR}/tests/run/fake_host/fake_host_main.cpp)
  target_compile_options(texloom_run_fake_host PRIVATE ${TEXLOOM_WARNINGS})

  file(GLOB TEXLOOM_RUN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/run/*.cpp)
  target_sources(texloom_tests PRIVATE ${TEXLOOM_RUN_TESTS})
  target_link_libraries(texloom_tests PRIVATE texloom_run_lib)
  target_compile_definitions(texloom_tests PRIVATE
    TEXLOOM_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TEXLOOM_RUN_PROGRAM="$<TARGET_FILE:texloom-run>"
    TEXLOOM_RUN_FAKE_HOST="$<TARGET_FILE:texloom_run_fake_host>"
    TEXLOOM_RUN_FAKE_WINE="${CMAKE_SOURCE_DIR}/tests/run/fake_host/fake_run_wine.sh"
    TEXLOOM_RUN_FAKE_FXO="${CMAKE_SOURCE_DIR}/tests/run/fake_host/fake_fxo.sh")
  add_dependencies(texloom_tests texloom-run texloom_run_fake_host)

  # The real command under Wine (tools/test_all.sh runs it as its own step):
  # exit status 77 when Wine or Direct3D cannot run here.
  add_executable(texloom_run_wine_test ${CMAKE_SOURCE_DIR}/tests/run/wine/run_wine_test.cpp
                 ${CMAKE_SOURCE_DIR}/tests/run/run_test_support.cpp)
  target_include_directories(texloom_run_wine_test PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(texloom_run_wine_test PRIVATE ${TEXLOOM_WARNINGS})
  target_compile_definitions(texloom_run_wine_test PRIVATE
    TEXLOOM_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TEXLOOM_RUN_PROGRAM="$<TARGET_FILE:texloom-run>")
  target_link_libraries(texloom_run_wine_test PRIVATE GTest::gtest Threads::Threads)
  add_dependencies(texloom_run_wine_test texloom-run)
endif()
