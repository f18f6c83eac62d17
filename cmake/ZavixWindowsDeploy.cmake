# zavix_windows_deploy(<target>)
# Copies what the Windows program needs next to it after each build, as Qt's
# deployment tool would: the Qt DLLs it loads, the platform plugins (windows
# for the desktop, offscreen for tests), the image format and style plugins,
# and the runtime DLLs of the posix-thread mingw-w64 toolchain.
function(zavix_windows_deploy target)
  get_target_property(_qtcore Qt5::Core IMPORTED_LOCATION_RELEASE)
  if(NOT _qtcore)
    get_target_property(_qtcore Qt5::Core IMPORTED_LOCATION)
  endif()
  get_filename_component(_qtbin ${_qtcore} DIRECTORY)
  get_filename_component(_qtroot ${_qtbin} DIRECTORY)
  set(_plugins ${_qtroot}/plugins)

  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE _libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
    OUTPUT_VARIABLE _libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_file(ZAVIX_WINPTHREAD_DLL libwinpthread-1.dll
    PATHS /usr/x86_64-w64-mingw32/lib /usr/x86_64-w64-mingw32/bin NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  foreach(_dll ${_libstdcxx} ${_libgcc} ${ZAVIX_WINPTHREAD_DLL})
    if(NOT IS_ABSOLUTE ${_dll} OR NOT EXISTS ${_dll})
      message(FATAL_ERROR "mingw-w64 runtime DLL not found: ${_dll}")
    endif()
  endforeach()

  set(_dir $<TARGET_FILE_DIR:${target}>)
  set(_commands
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_dir}/platforms ${_dir}/imageformats ${_dir}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
      ${_qtbin}/Qt5Core.dll ${_qtbin}/Qt5Gui.dll ${_qtbin}/Qt5Widgets.dll
      ${_libstdcxx} ${_libgcc} ${ZAVIX_WINPTHREAD_DLL} ${_dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
      ${_plugins}/platforms/qwindows.dll ${_plugins}/platforms/qoffscreen.dll ${_dir}/platforms)
  file(GLOB _imageformats ${_plugins}/imageformats/*.dll)
  if(_imageformats)
    list(APPEND _commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_imageformats} ${_dir}/imageformats)
  endif()
  file(GLOB _styles ${_plugins}/styles/*.dll)
  if(_styles)
    list(APPEND _commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_styles} ${_dir}/styles)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD ${_commands} VERBATIM)
endfunction()
