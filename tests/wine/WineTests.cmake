# The unit tests built for Windows, run under Wine through CTest (the windows-tests preset sets
# CMAKE_CROSSCOMPILING_EMULATOR to ctest-wine.sh and its state folder).
#
# Every program goes into one folder (CMAKE_RUNTIME_OUTPUT_DIRECTORY) with the DLLs it loads
# beside it, as in the station folder: Qt's, the plugins in the folders Qt looks in next to the
# executable, and the mingw-w64 C++ runtime. One Wine prefix, one wineserver and one virtual
# display serve the whole run (the fixture wine_session).
include_guard(GLOBAL)

if(NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
  message(FATAL_ERROR "Under Wine the tests need CMAKE_RUNTIME_OUTPUT_DIRECTORY (the windows-tests preset sets it)")
endif()
set(_wine_bin "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
set(_wine_files "")

function(_anunciel_wine_copy subdir source)
  get_filename_component(name "${source}" NAME)
  set(output "${_wine_bin}/${subdir}/${name}")
  add_custom_command(OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${_wine_bin}/${subdir}"
    COMMAND "${CMAKE_COMMAND}" -E copy "${source}" "${output}"
    DEPENDS "${source}"
    VERBATIM)
  set(_wine_files ${_wine_files} "${output}" PARENT_SCOPE)
endfunction()

# Network: the core's local socket for the commands from a console.
find_package(Qt6 REQUIRED COMPONENTS Network)
foreach(target Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network Qt6::Test)
  get_target_property(location ${target} IMPORTED_LOCATION_RELEASE)
  _anunciel_wine_copy(. "${location}")
endforeach()
# Plugins are loaded by name at run time: the two platforms the tests use (minimal, windows on
# the virtual display), the animations' GIF reader and the native style.
foreach(folder_target
    "platforms;Qt6::QMinimalIntegrationPlugin" "platforms;Qt6::QWindowsIntegrationPlugin"
    "imageformats;Qt6::QGifPlugin" "styles;Qt6::QWindowsVistaStylePlugin")
  list(GET folder_target 0 folder)
  list(GET folder_target 1 target)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "This Qt has no ${target}; the tests need it in ${folder}/")
  endif()
  get_target_property(location ${target} IMPORTED_LOCATION_RELEASE)
  _anunciel_wine_copy(${folder} "${location}")
endforeach()
foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${name}
    OUTPUT_VARIABLE location OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${location}" OR NOT EXISTS "${location}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${name}")
  endif()
  get_filename_component(location "${location}" REALPATH)
  _anunciel_wine_copy(. "${location}")
endforeach()
add_custom_target(wine_test_runtime ALL DEPENDS ${_wine_files})

add_test(NAME wine_session_start COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --start)
add_test(NAME wine_session_stop COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --stop)
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine_session TIMEOUT 300)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine_session)

# The tests named run in the Wine session.
function(anunciel_run_under_wine)
  set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine_session)
endfunction()
