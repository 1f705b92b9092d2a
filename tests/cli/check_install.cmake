# Installs the build into a scratch prefix and checks what a desktop needs is there and valid.
# Run as: cmake -DBUILD_DIR=<build> -P check_install.cmake
if(NOT BUILD_DIR)
  message(FATAL_ERROR "BUILD_DIR is not set")
endif()
string(RANDOM LENGTH 8 suffix)
set(prefix "${BUILD_DIR}/install-check-${suffix}")
file(REMOVE_RECURSE "${prefix}")

execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

set(failures "")
foreach(relative
    bin/darvelon
    bin/darvelon-cli
    share/applications/darvelon.desktop
    share/icons/hicolor/scalable/apps/darvelon.svg
    share/mime/packages/darvelon.xml)
  if(NOT EXISTS "${prefix}/${relative}")
    list(APPEND failures "missing ${relative}")
  endif()
endforeach()
foreach(program darvelon darvelon-cli)
  if(EXISTS "${prefix}/bin/${program}" AND IS_DIRECTORY "${prefix}/bin/${program}")
    list(APPEND failures "bin/${program} is a directory")
  endif()
endforeach()

set(desktop "${prefix}/share/applications/darvelon.desktop")
if(EXISTS "${desktop}")
  find_program(VALIDATE desktop-file-validate)
  if(NOT VALIDATE)
    list(APPEND failures "desktop-file-validate not found (package desktop-file-utils)")
  else()
    execute_process(COMMAND "${VALIDATE}" "${desktop}" RESULT_VARIABLE result
                    OUTPUT_VARIABLE output ERROR_VARIABLE output)
    # The validator exits 0 on hints and warnings too; a clean entry prints nothing.
    if(NOT result EQUAL 0 OR NOT output STREQUAL "")
      list(APPEND failures "desktop-file-validate: ${output}")
    endif()
  endif()
  file(READ "${desktop}" entry)
  if(NOT entry MATCHES "\nExec=darvelon %f\n" OR NOT entry MATCHES "\nIcon=darvelon\n")
    list(APPEND failures "the desktop entry does not start darvelon on the file with its icon")
  endif()
  if(NOT entry MATCHES "\nMimeType=application/x-darvelon-log;\n")
    list(APPEND failures "the desktop entry does not take the logs' MIME type")
  endif()
endif()

set(mime "${prefix}/share/mime/packages/darvelon.xml")
if(EXISTS "${mime}")
  file(READ "${mime}" types)
  if(NOT types MATCHES "type=\"application/x-darvelon-log\"" OR NOT types MATCHES "pattern=\"\\*\\.dcc\"")
    list(APPEND failures "the MIME package does not map *.dcc to application/x-darvelon-log")
  endif()
  find_program(XMLLINT xmllint)
  if(XMLLINT)
    execute_process(COMMAND "${XMLLINT}" --noout "${mime}" RESULT_VARIABLE result ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
      list(APPEND failures "the MIME package is not well-formed XML: ${output}")
    endif()
  endif()
endif()

file(REMOVE_RECURSE "${prefix}")
if(failures)
  string(REPLACE ";" "\n  " failures "${failures}")
  message(FATAL_ERROR "installed tree is incomplete:\n  ${failures}")
endif()
message(STATUS "installed tree is complete and the desktop entry validates")
