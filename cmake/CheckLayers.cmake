# Fails when a source file includes a header of a higher layer, when the engine includes Qt, when
# the Qt Core layers include Qt Widgets, when a screen's folder below Views/ includes another's
# (what screens share lives in Views/Components/, which includes no screen), or when one of the
# store's parts includes the store (AuditStore is the façade over them; they know nothing of it).
# Run as: cmake -DSOURCE_DIR=<tree>/src -P CheckLayers.cmake
#
# Layers, lowest first. A file may include its own layer and any lower one; layers of equal rank
# may not include each other. App (start-up, menus) sits above the window and screens it builds.
set(layers
    "Engine/Support/ 0"
    "Engine/BSM/ 1"
    "Engine/Record/ 2"
    "Engine/Parser/ 3"
    "Engine/Analysis/ 4"
    "Engine/Export/ 5"
    "Engine/Capture/ 5"
    "Platform/ 6"
    "Services/ 7"
    "Store/ 8"
    "App/ 10"
    "Views/ 9")
set(widgets_only_from 9)

get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
if(NOT IS_DIRECTORY "${SOURCE_DIR}")
    message(FATAL_ERROR "SOURCE_DIR must name the src folder")
endif()

function(layer_of path out_rank out_name)
    foreach(entry ${layers})
        separate_arguments(parts UNIX_COMMAND "${entry}")
        list(GET parts 0 prefix)
        list(GET parts 1 rank)
        string(FIND "${path}" "${prefix}" at)
        if(at EQUAL 0)
            set(${out_rank} ${rank} PARENT_SCOPE)
            set(${out_name} ${prefix} PARENT_SCOPE)
            return()
        endif()
    endforeach()
    set(${out_rank} "" PARENT_SCOPE)
    set(${out_name} "" PARENT_SCOPE)
endfunction()

# The folder directly below Views/ that holds path ("Events", "Components"), or "" for the shell's
# own files in Views/ and for paths outside it.
function(views_folder_of path out)
    if(path MATCHES "^Views/([^/]+)/")
        set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()

set(problems "")
file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
if(NOT files)
    message(FATAL_ERROR "No sources below ${SOURCE_DIR}")
endif()
foreach(file ${files})
    layer_of("${file}" rank name)
    if(rank STREQUAL "")
        string(APPEND problems "  ${file}: in no layer folder\n")
        continue()
    endif()
    file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${includes})
        if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
            set(target "${CMAKE_MATCH_1}")
            if(target MATCHES "\\.moc$|^moc_|^ui_")
                continue()
            endif()
            if(NOT EXISTS "${SOURCE_DIR}/${target}")
                string(APPEND problems "  ${file}: includes \"${target}\", which is not a path below src/\n")
                continue()
            endif()
            layer_of("${target}" target_rank target_name)
            if(target_rank STREQUAL "")
                continue()
            endif()
            if(target_rank GREATER rank OR (target_rank EQUAL rank AND NOT target_name STREQUAL name))
                string(APPEND problems "  ${file}: includes \"${target}\" of a higher layer\n")
            endif()
            if(target STREQUAL "Store/AuditStore.h" AND file MATCHES "^Store/" AND NOT file MATCHES "^Store/AuditStore\\.")
                string(APPEND problems "  ${file}: includes \"Store/AuditStore.h\"; a store part may not include the store\n")
            endif()
            views_folder_of("${file}" from_folder)
            views_folder_of("${target}" to_folder)
            if(NOT from_folder STREQUAL "" AND NOT to_folder STREQUAL ""
               AND NOT to_folder STREQUAL "Components" AND NOT to_folder STREQUAL from_folder)
                string(APPEND problems "  ${file}: includes \"${target}\", another screen's own header; shared widgets go in Views/Components/\n")
            endif()
        elseif(line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z/]*)")
            set(target "${CMAKE_MATCH_1}")
            if(name MATCHES "^Engine/")
                string(APPEND problems "  ${file}: includes <${target}>, but the engine does not use Qt\n")
            elseif(rank LESS widgets_only_from
                   AND target MATCHES "^(QtWidgets|QtCharts|QApplication$|QWidget$|QMainWindow$|QDialog$|QAbstractItemView$|QLabel$)")
                string(APPEND problems "  ${file}: includes <${target}>, but only App and Views use Qt Widgets\n")
            endif()
        endif()
    endforeach()
endforeach()

if(problems)
    message(FATAL_ERROR "Layering broken:\n${problems}")
endif()
