# The product: texloom.auf, a 32-bit Windows DLL.
enable_language(RC)

file(GLOB TEXLOOM_WINDOWS_PLATFORM_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/platform/windows/*.cpp)
add_library(texloom SHARED
  ${TEXLOOM_LOGIC_SOURCES}
  ${TEXLOOM_WINDOWS_PLATFORM_SOURCES}
  ${CMAKE_SOURCE_DIR}/src/platform/build_id.cpp
  ${CMAKE_SOURCE_DIR}/src/plugin/texloom.def
  ${CMAKE_SOURCE_DIR}/src/plugin/version.rc)
set_target_properties(texloom PROPERTIES PREFIX "" SUFFIX ".auf" OUTPUT_NAME texloom)
set(TEXLOOM_PRODUCT_OPTIONS ${TEXLOOM_WARNINGS} -O2 -fno-strict-aliasing)
set(TEXLOOM_PRODUCT_DEFINITIONS UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
target_include_directories(texloom PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(texloom PRIVATE ${TEXLOOM_PRODUCT_OPTIONS})
target_compile_definitions(texloom PRIVATE ${TEXLOOM_PRODUCT_DEFINITIONS})
target_link_options(texloom PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)
target_link_libraries(texloom PRIVATE shlwapi version d3d9 user32 kernel32)

# The conversion kernels alone, compiled exactly as in the module (same
# compiler, options, definitions and per-file instruction sets), for the
# Windows tests build, which links them into a test program run under Wine.
set(TEXLOOM_KERNEL_SOURCES ${TEXLOOM_LOGIC_SOURCES})
list(FILTER TEXLOOM_KERNEL_SOURCES INCLUDE REGEX "/src/pipeline/(convert_[a-z0-9]+|conversion_dispatch)\\.cpp$")
add_library(texloom_conversion_kernels STATIC EXCLUDE_FROM_ALL ${TEXLOOM_KERNEL_SOURCES}
  ${CMAKE_SOURCE_DIR}/src/platform/windows/processor.cpp)
target_include_directories(texloom_conversion_kernels PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(texloom_conversion_kernels PRIVATE ${TEXLOOM_PRODUCT_OPTIONS})
target_compile_definitions(texloom_conversion_kernels PRIVATE ${TEXLOOM_PRODUCT_DEFINITIONS})

# Harness run under Wine: loads the module like a host and calls its entry
# points with a stack aligned to 4 bytes only.
file(GLOB TEXLOOM_E2E_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/e2e/*.cpp)
if(TEXLOOM_E2E_SOURCES)
  add_executable(texloom_host_harness ${TEXLOOM_E2E_SOURCES})
  target_include_directories(texloom_host_harness PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR})
  target_compile_options(texloom_host_harness PRIVATE ${TEXLOOM_WARNINGS} -O1)
  target_link_options(texloom_host_harness PRIVATE -municode -static -static-libgcc -static-libstdc++)
  target_link_libraries(texloom_host_harness PRIVATE version)
endif()
