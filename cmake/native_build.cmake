# Native build: the logic against the project's Win32/Direct3D stand-in, with
# the GoogleTest suite and the benchmarks.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

if(TEXLOOM_SANITIZE STREQUAL "address")
  set(TEXLOOM_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
elseif(TEXLOOM_SANITIZE STREQUAL "thread")
  set(TEXLOOM_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
else()
  set(TEXLOOM_SANITIZER_FLAGS "")
endif()
add_compile_options(${TEXLOOM_SANITIZER_FLAGS})
add_link_options(${TEXLOOM_SANITIZER_FLAGS})

file(GLOB TEXLOOM_NATIVE_PLATFORM_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/platform/native/*.cpp)
add_library(texloom_platform_native STATIC ${TEXLOOM_NATIVE_PLATFORM_SOURCES})
target_include_directories(texloom_platform_native PUBLIC ${CMAKE_SOURCE_DIR}/src
  ${CMAKE_SOURCE_DIR}/src/platform/native)
target_compile_options(texloom_platform_native PRIVATE ${TEXLOOM_WARNINGS})
target_link_libraries(texloom_platform_native PUBLIC Threads::Threads)

add_library(texloom_logic STATIC ${TEXLOOM_LOGIC_SOURCES} ${CMAKE_SOURCE_DIR}/src/platform/build_id.cpp)
target_include_directories(texloom_logic PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(texloom_logic PRIVATE ${TEXLOOM_WARNINGS} -Werror=return-type)
target_link_libraries(texloom_logic PUBLIC texloom_platform_native)

enable_testing()
file(GLOB TEXLOOM_TEST_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/tests/fakes/*.cpp ${CMAKE_SOURCE_DIR}/tests/platform/*.cpp)
foreach(subsystem ${TEXLOOM_SUBSYSTEMS})
  file(GLOB subsystem_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${subsystem}/*.cpp)
  list(APPEND TEXLOOM_TEST_SOURCES ${subsystem_tests})
endforeach()
# Test support with one implementation per platform.
list(APPEND TEXLOOM_TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/support/guarded_memory_posix.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/host_call_direct.cpp)
add_executable(texloom_tests ${TEXLOOM_TEST_SOURCES})
target_include_directories(texloom_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src/platform/native)
target_compile_options(texloom_tests PRIVATE ${TEXLOOM_WARNINGS})
target_link_libraries(texloom_tests PRIVATE texloom_logic GTest::gtest_main Threads::Threads)
include(${CMAKE_SOURCE_DIR}/cmake/fx2_tools.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/hlsl_tools.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/run_tools.cmake)
include(GoogleTest)
gtest_discover_tests(texloom_tests DISCOVERY_TIMEOUT 60)

if(TEXLOOM_BENCH AND NOT TEXLOOM_SANITIZE)
  find_package(benchmark REQUIRED)
  add_executable(texloom_bench ${CMAKE_SOURCE_DIR}/bench/conversion_bench.cpp)
  target_include_directories(texloom_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(texloom_bench PRIVATE -O2)
  target_link_libraries(texloom_bench PRIVATE texloom_logic benchmark::benchmark Threads::Threads)

  # The process handler on the fake GPU and host: the fakes without their
  # tests and without the test program's allocation hooks.
  file(GLOB TEXLOOM_FAKE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fakes/*.cpp)
  list(FILTER TEXLOOM_FAKE_SOURCES EXCLUDE REGEX "(_test|allocation_failure)\\.cpp$")
  add_executable(texloom_frame_bench ${CMAKE_SOURCE_DIR}/bench/frame_bench.cpp
                 ${TEXLOOM_FAKE_SOURCES} ${CMAKE_SOURCE_DIR}/tests/plugin/fake_host.cpp)
  target_include_directories(texloom_frame_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests
                             ${CMAKE_SOURCE_DIR}/src/platform/native)
  target_compile_options(texloom_frame_bench PRIVATE -O2)
  target_link_libraries(texloom_frame_bench PRIVATE texloom_logic benchmark::benchmark
                        Threads::Threads)
endif()
