# The administrative templates are put together from packaging/policies/*.in and
# the policies of each part that keeps its own (a name source's folder has a
# policies/ folder of the same layout, with Policies.admx.part and
# <language>/Policies.adml.part). A part's fragment has "@section <name>" lines;
# each section goes where the template has an "@<name>@" line, the parts in the
# order in which they were added.

# A part's folder with its policies/ folder; call from the part's CMakeLists.
function(kordavin_part_policies)
    set_property(GLOBAL APPEND PROPERTY KORDAVIN_POLICY_PARTS ${CMAKE_CURRENT_SOURCE_DIR}/policies)
endfunction()

# Sets <prefix>_<section> in the caller to each section's text of a fragment file.
function(_kordavin_policy_sections file prefix)
    file(READ ${file} text)
    set(names "")
    string(FIND "${text}" "@section " start)
    while(NOT start EQUAL -1)
        math(EXPR start "${start} + 9")
        string(SUBSTRING "${text}" ${start} -1 text)
        string(FIND "${text}" "\n" end)
        string(SUBSTRING "${text}" 0 ${end} name)
        math(EXPR end "${end} + 1")
        string(SUBSTRING "${text}" ${end} -1 text)
        string(FIND "${text}" "@section " start)
        if(start EQUAL -1)
            set(body "${text}")
        else()
            string(SUBSTRING "${text}" 0 ${start} body)
        endif()
        set(${prefix}_${name} "${body}" PARENT_SCOPE)
        list(APPEND names ${name})
    endwhile()
    set(${prefix}_sections "${names}" PARENT_SCOPE)
endfunction()

# Writes output from template (a path under packaging/policies without ".in")
# with the parts' fragments in place; output is rewritten only when it changes.
function(kordavin_assemble_policy_template templates relative fragment output)
    get_property(parts GLOBAL PROPERTY KORDAVIN_POLICY_PARTS)
    file(READ ${templates}/${relative}.in text)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${templates}/${relative}.in)
    set(joined_sections "")
    foreach(part ${parts})
        if(NOT EXISTS ${part}/${fragment})
            continue()
        endif()
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${part}/${fragment})
        _kordavin_policy_sections(${part}/${fragment} fragment)
        foreach(section ${fragment_sections})
            string(APPEND joined_${section} "${fragment_${section}}")
            list(APPEND joined_sections ${section})
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES joined_sections)
    foreach(section ${joined_sections})
        string(FIND "${text}" "\n@${section}@\n" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${templates}/${relative}.in has no @${section}@ line for the parts' policies")
        endif()
        string(REPLACE "\n@${section}@\n" "\n${joined_${section}}" text "${text}")
    endforeach()
    # A place no part fills is left out.
    string(REGEX REPLACE "\n@[a-z]+@\n" "\n" text "${text}")
    file(WRITE ${output}.new "${text}")
    configure_file(${output}.new ${output} COPYONLY)
    file(REMOVE ${output}.new)
endfunction()
