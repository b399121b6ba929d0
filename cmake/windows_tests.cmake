# The Windows tests build: 32-bit Windows test programs, built with the
# posix-model MinGW compiler and run under Wine by tools/run_wine.sh.
#
#   add_wine_test(<name> SOURCES <files...> [LIBRARIES <libs...>] [NO_DIRECT3D])
#
# makes bin/<name>.exe, a statically linked GoogleTest program with
# wine_gtest_main, registers it with ctest (run under Wine) and lists it in
# wine_tests.list for tools/test_all.sh. NO_DIRECT3D marks a program that
# runs without a Direct3D 9 device, so the lack of one does not skip it.
#
# Every e2e/<component>/CMakeLists.txt is added. The module itself is built
# separately (tools/build_windows.sh); tests that load it find its path in
# TEXLOOM_PRODUCT_DLL (TEXLOOM_PRODUCT_DLL_WINE is the same file as a Windows
# path on Wine's drive Z:).
include(ExternalProject)

set(TEXLOOM_PRODUCT_DLL "${CMAKE_SOURCE_DIR}/build/windows/texloom.auf" CACHE FILEPATH
    "The module built by tools/build_windows.sh, for tests that load it")
string(REPLACE "/" "\\" TEXLOOM_PRODUCT_DLL_WINE "Z:${TEXLOOM_PRODUCT_DLL}")
set(TEXLOOM_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian: googletest)")

set(TEXLOOM_RUN_WINE ${CMAKE_SOURCE_DIR}/tools/run_wine.sh)
set(TEXLOOM_WINE_STATE ${CMAKE_BINARY_DIR}/wine-state)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TEXLOOM_RUN_WINE})
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

set(TEXLOOM_WINDOWS_TEST_DEFINITIONS UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
add_compile_options(${TEXLOOM_WARNINGS} -O2)
add_link_options(-static -static-libgcc -static-libstdc++)

# ---- GoogleTest, from Debian's sources ---------------------------------------

if(NOT EXISTS ${TEXLOOM_GOOGLETEST_SOURCE}/googletest/src/gtest-all.cc)
  message(FATAL_ERROR "GoogleTest sources not found in ${TEXLOOM_GOOGLETEST_SOURCE} (Debian package googletest)")
endif()
set(gtest_root ${TEXLOOM_GOOGLETEST_SOURCE}/googletest)
add_library(wine_gtest STATIC ${gtest_root}/src/gtest-all.cc)
target_include_directories(wine_gtest SYSTEM PUBLIC ${gtest_root}/include)
target_include_directories(wine_gtest PRIVATE ${gtest_root})
target_compile_options(wine_gtest PRIVATE -w)
add_library(wine_gtest_main STATIC ${gtest_root}/src/gtest_main.cc)
target_compile_options(wine_gtest_main PRIVATE -w)
target_link_libraries(wine_gtest_main PUBLIC wine_gtest)

# ---- The conversion kernels, as the module's compiler builds them ----------

# A build of the module's own configuration (win32-model compiler, Release)
# that makes only the kernel library, so the tests run the very code the
# module ships: objects of the two thread models link together because the
# kernels use nothing of the threading runtime.
set(product_kernels_dir ${CMAKE_BINARY_DIR}/product-kernels)
set(product_kernels_library ${product_kernels_dir}/libtexloom_conversion_kernels.a)
ExternalProject_Add(product_kernels_build
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${product_kernels_dir}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake
             -DCMAKE_BUILD_TYPE=Release
  # One job: the outer build already runs as many as the machine should.
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${product_kernels_dir} --target texloom_conversion_kernels -j 1
  BUILD_ALWAYS TRUE
  BUILD_BYPRODUCTS ${product_kernels_library}
  INSTALL_COMMAND ""
  LOG_CONFIGURE TRUE)
add_library(product_conversion_kernels STATIC IMPORTED GLOBAL)
set_target_properties(product_conversion_kernels PROPERTIES IMPORTED_LOCATION ${product_kernels_library})
add_dependencies(product_conversion_kernels product_kernels_build)

# The test host library and texloom-host.exe.
include(${CMAKE_SOURCE_DIR}/cmake/host_tools.cmake)

# ---- Registration ------------------------------------------------------------

enable_testing()
# Once per ctest run: a fresh Wine prefix to copy for each program, and the
# Direct3D probe's verdict; removed again at the end.
add_test(NAME wine_prepare COMMAND ${TEXLOOM_RUN_WINE} --prepare)
add_test(NAME wine_discard COMMAND ${TEXLOOM_RUN_WINE} --discard)
set_tests_properties(wine_prepare PROPERTIES FIXTURES_SETUP wine SKIP_RETURN_CODE 77
  ENVIRONMENT "TEXLOOM_WINE_STATE=${TEXLOOM_WINE_STATE};TEXLOOM_D3D_PROBE=${CMAKE_BINARY_DIR}/bin/d3d_probe.exe")
set_tests_properties(wine_discard PROPERTIES FIXTURES_CLEANUP wine
  ENVIRONMENT "TEXLOOM_WINE_STATE=${TEXLOOM_WINE_STATE}")

set_property(GLOBAL PROPERTY TEXLOOM_WINE_TESTS "")

function(add_wine_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "NO_DIRECT3D" "" "SOURCES;LIBRARIES")
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "add_wine_test(${name}): no SOURCES")
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests
                                             ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE ${TEXLOOM_WINDOWS_TEST_DEFINITIONS})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} wine_gtest_main)
  set(direct3d required)
  if(arg_NO_DIRECT3D)
    set(direct3d not-needed)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77
    ENVIRONMENT "TEXLOOM_WINE_STATE=${TEXLOOM_WINE_STATE};TEXLOOM_WINE_DIRECT3D=${direct3d}")
  set_property(GLOBAL APPEND PROPERTY TEXLOOM_WINE_TESTS "${name}\t${direct3d}\t$<TARGET_FILE:${name}>")
endfunction()

file(GLOB TEXLOOM_E2E_COMPONENTS CONFIGURE_DEPENDS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/e2e/*)
foreach(component ${TEXLOOM_E2E_COMPONENTS})
  if(EXISTS ${component}/CMakeLists.txt)
    add_subdirectory(${component})
  endif()
endforeach()

# One line per program: name, whether it needs Direct3D, path.
get_property(wine_tests GLOBAL PROPERTY TEXLOOM_WINE_TESTS)
list(JOIN wine_tests "\n" wine_tests_text)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/wine_tests.list CONTENT "${wine_tests_text}\n")
