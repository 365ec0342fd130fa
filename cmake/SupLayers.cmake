# The floors of the tree and the build's rule that every arrow points down.
#
#   foundation   foundation/data, foundation/sql    Qt Core (and Sql)
#   contracts    contracts/                         Qt Core
#   kit          widgetkit/, platform/net           what screens are built from
#   server       platform/server                    headless: Core and Sql, no Widgets or Gui
#   host         platform/host                      the desktop Host
#   module       shell/, Cli_sup0770x/              the routine
#   shell        platform/shell-app                 sup-host (loads the module at run time)
#   testkit      testkit/
#
# sup_layer(<target> <floor>) places a target; sup_check_layers() (run once every target
# exists) fails the configuration when a target links a project target its floor may not
# reach: a screen cannot link the server, the server cannot link the widget kit, the
# contracts cannot link anything above the foundation.
set(SUP_FLOOR_foundation foundation)
set(SUP_FLOOR_contracts foundation)
set(SUP_FLOOR_kit contracts foundation)
set(SUP_FLOOR_server server contracts foundation)
set(SUP_FLOOR_host kit contracts foundation)
set(SUP_FLOOR_module module kit contracts foundation)
set(SUP_FLOOR_shell shell host server kit contracts foundation)
set(SUP_FLOOR_testkit host kit contracts foundation)
# Floors that stay headless.
set(SUP_HEADLESS_FLOORS foundation contracts server)

function(sup_layer target floor)
    if(NOT DEFINED SUP_FLOOR_${floor})
        message(FATAL_ERROR "sup_layer: unknown floor '${floor}' for ${target}")
    endif()
    set_property(TARGET ${target} PROPERTY SUP_FLOOR ${floor})
    set_property(GLOBAL APPEND PROPERTY SUP_LAYERED_TARGETS ${target})
endfunction()

# The project targets and Qt modules a target links directly (generator expressions unwrapped).
function(_sup_direct_links target out)
    set(result "")
    foreach(prop LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
        get_target_property(libs ${target} ${prop})
        if(NOT libs)
            continue()
        endif()
        foreach(lib IN LISTS libs)
            # $<LINK_LIBRARY:FEATURE,name> and $<LINK_ONLY:name>
            string(REGEX REPLACE "^\\$<LINK_LIBRARY:[A-Z_]+,(.*)>$" "\\1" lib "${lib}")
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
            list(APPEND result "${lib}")
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES result)
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

function(sup_check_layers)
    get_property(targets GLOBAL PROPERTY SUP_LAYERED_TARGETS)
    set(errors "")
    foreach(target IN LISTS targets)
        get_target_property(floor ${target} SUP_FLOOR)
        _sup_direct_links(${target} links)
        foreach(lib IN LISTS links)
            if(floor IN_LIST SUP_HEADLESS_FLOORS AND lib MATCHES "^Qt6::(Widgets|Gui)$")
                list(APPEND errors "${target} (${floor}) links ${lib}")
            endif()
            if(NOT TARGET ${lib})
                continue()
            endif()
            get_target_property(dep_floor ${lib} SUP_FLOOR)
            if(NOT dep_floor)
                continue()
            endif()
            if(NOT dep_floor IN_LIST SUP_FLOOR_${floor})
                list(APPEND errors "${target} (${floor}) links ${lib} (${dep_floor})")
            endif()
        endforeach()
    endforeach()
    if(errors)
        list(JOIN errors "\n  " text)
        message(FATAL_ERROR "Links against the floors of the tree:\n  ${text}")
    endif()
endfunction()
