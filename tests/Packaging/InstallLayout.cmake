# Installs the build into a scratch prefix and checks what the desktop relies on: the executable,
# its bundled data where the resource lookup looks, and a desktop entry whose file type the
# shared-mime-info entry declares. Run as: cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -P InstallLayout.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}" RESULT_VARIABLE status
    OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(path bin/quillmarsh share/quillmarsh/resources/sample.bsm share/quillmarsh/resources/audit_event
        share/quillmarsh/resources/audit_class share/applications/quillmarsh.desktop
        share/mime/packages/quillmarsh.xml share/icons/hicolor/scalable/apps/quillmarsh.svg)
    if(NOT EXISTS "${PREFIX}/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
file(READ "${PREFIX}/share/applications/quillmarsh.desktop" entry)
if(NOT entry MATCHES "\nExec=quillmarsh %F\n" OR NOT entry MATCHES "\nIcon=quillmarsh\n")
    message(FATAL_ERROR "the desktop entry must start quillmarsh with the files (%F) and name its icon")
endif()
if(NOT entry MATCHES "\nMimeType=([^\n]*)\n")
    message(FATAL_ERROR "the desktop entry declares no file type")
endif()
string(REPLACE ";" "" type "${CMAKE_MATCH_1}")
file(READ "${PREFIX}/share/mime/packages/quillmarsh.xml" mime)
if(NOT mime MATCHES "<mime-type type=\"${type}\">" OR NOT mime MATCHES "<glob pattern=\"\\*\\.bsm\"/>")
    message(FATAL_ERROR "the file type ${type} is not declared for *.bsm")
endif()
file(REMOVE_RECURSE "${PREFIX}")
