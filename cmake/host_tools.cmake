# The test host (tools/host): a static library that loads a filter plug-in
# and plays the editor's side of the plug-in interface, and texloom-host.exe,
# whose run mode drives the plug-in over a clip of raw frames. Windows only:
# included by the Windows tests build.
if(NOT TARGET texloom_host)
  set(host_dir ${CMAKE_SOURCE_DIR}/tools/host)
  add_library(texloom_host STATIC
    ${host_dir}/clip.cpp
    ${host_dir}/filter_table_view.cpp
    ${host_dir}/frame_server.cpp
    ${host_dir}/host.cpp
    ${host_dir}/message_recorder.cpp
    ${host_dir}/output_image.cpp
    ${host_dir}/parallel_runner.cpp
    ${host_dir}/plugin_folder.cpp
    ${host_dir}/plugin_module.cpp
    ${host_dir}/process_memory.cpp
    ${host_dir}/target_dump_client.cpp
    ${host_dir}/text_codec.cpp)
  target_include_directories(texloom_host PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_definitions(texloom_host PUBLIC ${TEXLOOM_WINDOWS_TEST_DEFINITIONS})
  target_link_libraries(texloom_host PUBLIC psapi user32)

  add_executable(texloom-host
    ${host_dir}/host_main.cpp
    ${host_dir}/run_arguments.cpp
    ${host_dir}/run_mode.cpp
    ${host_dir}/stream_clip.cpp)
  target_link_libraries(texloom-host PRIVATE texloom_host)
  target_link_options(texloom-host PRIVATE -municode)
endif()
