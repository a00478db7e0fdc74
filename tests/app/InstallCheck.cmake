# Installs the build into a fresh prefix and checks that the program, the companion tool, the
# desktop entry and the icon land where a desktop looks for them, and that the entry is valid.
# Run as: cmake -DBUILD_DIR=<build> -DPREFIX=<empty folder> -P InstallCheck.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result})")
endif()
foreach(file bin/daybridge bin/daybridge-cli share/applications/daybridge.desktop
             share/icons/hicolor/scalable/apps/daybridge.svg
             share/doc/daybridge/manual/index.html)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND desktop-file-validate ${PREFIX}/share/applications/daybridge.desktop
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "desktop-file-validate rejects daybridge.desktop (${result})")
endif()
file(REMOVE_RECURSE ${PREFIX})
