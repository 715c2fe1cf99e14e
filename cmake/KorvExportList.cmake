# The library's exports are listed once, by KORVANELLE_FOR_EACH_FUNCTION in the public header.
# The linker inputs (the .def file and the version script), the Python binding's prototype
# table and the .NET binding's NativeMethods must name exactly those functions;
# korv_check_export_lists stops the configure when they do not, so a function added to the
# header and forgotten in one of them (or the other way round) never reaches a build.
#
# Used from src/api/CMakeLists.txt, and as a script by the api tests:
#   cmake -DHEADER=... -DDEF=... -DMAP=... [-DPYTHON_TABLE=...] [-DDOTNET_TABLE=...]
#         -P KorvExportList.cmake

# The names in the header's list, in declaration order.
function(korv_export_names header out)
  file(READ "${header}" text)
  string(REGEX MATCH "#define KORVANELLE_FOR_EACH_FUNCTION\\(X\\)([^\n]*\\\\\n)*[^\n]*" body "${text}")
  if(NOT body)
    message(FATAL_ERROR "${header}: no KORVANELLE_FOR_EACH_FUNCTION(X) definition")
  endif()
  string(REGEX REPLACE "^#define KORVANELLE_FOR_EACH_FUNCTION\\(X\\)" "" body "${body}")
  string(REGEX MATCHALL "X\\([A-Za-z_][A-Za-z0-9_]*\\)" names "${body}")
  list(TRANSFORM names REPLACE "^X\\((.*)\\)$" "\\1")
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# Appends to the caller's `problems` a line per name that is in one list and not the other.
function(_korv_compare_names what expected actual)
  set(found ${problems})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${actual})
  set(extra ${actual})
  list(REMOVE_ITEM extra ${expected})
  list(LENGTH actual actual_count)
  list(REMOVE_DUPLICATES actual)
  list(LENGTH actual unique_count)
  if(missing)
    list(APPEND found "${what} lacks ${missing}")
  endif()
  if(extra)
    list(APPEND found "${what} names ${extra}, which the header does not list")
  endif()
  if(NOT actual_count EQUAL unique_count)
    list(APPEND found "${what} names a function twice")
  endif()
  set(problems ${found} PARENT_SCOPE)
endfunction()

function(korv_check_export_lists header def map)
  cmake_parse_arguments(ARG "" "PYTHON_TABLE;DOTNET_TABLE" "" ${ARGN})
  korv_export_names("${header}" names)
  set(problems "")

  # .def: "name @n" lines after EXPORTS, ordinals 1..N in the byte order of the names.
  file(STRINGS "${def}" def_lines)
  set(in_exports FALSE)
  set(def_names "")
  set(def_entries "")
  foreach(line IN LISTS def_lines)
    string(REGEX REPLACE ";.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    elseif(line STREQUAL "EXPORTS")
      set(in_exports TRUE)
    elseif(in_exports)
      if(line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)[ \t]+@([0-9]+)$")
        list(APPEND def_names ${CMAKE_MATCH_1})
        list(APPEND def_entries "${CMAKE_MATCH_2}:${CMAKE_MATCH_1}")
      else()
        list(APPEND problems "${def}: an export line that is not \"name @ordinal\": ${line}")
      endif()
    endif()
  endforeach()
  _korv_compare_names("${def}" "${names}" "${def_names}")
  set(sorted ${names})
  list(SORT sorted COMPARE STRING CASE SENSITIVE)
  set(want_entries "")
  set(ordinal 0)
  foreach(name IN LISTS sorted)
    math(EXPR ordinal "${ordinal} + 1")
    list(APPEND want_entries "${ordinal}:${name}")
  endforeach()
  if(NOT problems AND NOT def_entries STREQUAL want_entries)
    list(JOIN want_entries " " want_text)
    list(APPEND problems "${def}: the ordinals must be 1..N in the byte order of the names (${want_text})")
  endif()

  # Version script: the names between "global:" and "local:".
  file(READ "${map}" map_text)
  if(NOT map_text MATCHES "global:([^}]*)local:")
    list(APPEND problems "${map}: no global: ... local: section")
  endif()
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" map_names "${CMAKE_MATCH_1}")
  _korv_compare_names("${map}" "${names}" "${map_names}")

  # Python binding: the keys of PROTOTYPES.
  if(ARG_PYTHON_TABLE)
    file(READ "${ARG_PYTHON_TABLE}" py_text)
    if(NOT py_text MATCHES "\nPROTOTYPES = {\n(.*)\n}\n")
      list(APPEND problems "${ARG_PYTHON_TABLE}: no PROTOTYPES table")
    endif()
    string(REGEX MATCHALL "\n    \"[A-Za-z_][A-Za-z0-9_]*\":" py_names "\n${CMAKE_MATCH_1}")
    list(TRANSFORM py_names REPLACE "^\n    \"(.*)\":$" "\\1")
    _korv_compare_names("${ARG_PYTHON_TABLE}" "${names}" "${py_names}")
  endif()

  # .NET binding: the extern methods of NativeMethods, each with the one DllImport form.
  if(ARG_DOTNET_TABLE)
    file(READ "${ARG_DOTNET_TABLE}" cs_text)
    string(REPLACE "[DllImport(\"KorvanelleClient\", CallingConvention = CallingConvention.Cdecl)]"
      "@KORV_CDECL_IMPORT@" cs_text "${cs_text}")
    set(cs_name "[A-Za-z_][A-Za-z0-9_]*")
    string(REGEX MATCHALL "static extern ${cs_name} ${cs_name}\\(" cs_all "${cs_text}")
    string(REGEX MATCHALL "@KORV_CDECL_IMPORT@[ \t\r\n]+internal static extern ${cs_name} ${cs_name}\\("
      cs_imports "${cs_text}")
    list(LENGTH cs_all cs_all_count)
    list(LENGTH cs_imports cs_import_count)
    if(NOT cs_all_count EQUAL cs_import_count)
      list(APPEND problems "${ARG_DOTNET_TABLE}: an extern method without [DllImport(\"KorvanelleClient\", CallingConvention = CallingConvention.Cdecl)]")
    endif()
    list(TRANSFORM cs_imports REPLACE "^.* (${cs_name})\\($" "\\1")
    _korv_compare_names("${ARG_DOTNET_TABLE}" "${names}" "${cs_imports}")
  endif()

  if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "The export lists disagree with KORVANELLE_FOR_EACH_FUNCTION in ${header}:\n  ${text}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  korv_check_export_lists("${HEADER}" "${DEF}" "${MAP}" PYTHON_TABLE "${PYTHON_TABLE}"
    DOTNET_TABLE "${DOTNET_TABLE}")
  korv_export_names("${HEADER}" names)
  list(LENGTH names count)
  message(STATUS "The .def file, the version script and the bindings' tables name the header's ${count} functions")
endif()
