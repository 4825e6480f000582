# Helpers shared by every folder of the project.

set(KESTROWAN_ROOT ${CMAKE_SOURCE_DIR})

# One precompiled header of the Qt headers nearly every file includes, built once and reused by every
# library and test: parsing Qt's headers is most of a compile otherwise.
add_library(kestrowan_pch STATIC ${CMAKE_CURRENT_LIST_DIR}/pch.cpp)
target_link_libraries(kestrowan_pch PUBLIC Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network)
target_precompile_headers(kestrowan_pch PRIVATE
  <QtCore/QtCore> <QtGui/QImage> <QtGui/QPainter> <QtGui/QColor> <QtGui/QIcon> <QtGui/QPixmap>
  <QtGui/QGuiApplication> <QtWidgets/QApplication> <QtWidgets/QWidget>
  <QtNetwork/QNetworkAccessManager> <QtNetwork/QNetworkReply> <QtNetwork/QLocalSocket>
  <memory> <optional> <functional> <vector> <map>)

function(kestrowan_use_shared_pch target)
  target_precompile_headers(${target} REUSE_FROM kestrowan_pch)
endfunction()

# kestrowan_library(<target> [DIRS <dir>...] [RECURSE] [QT_CORE_ONLY] [DEPS <targets>...])
# A library of every .cpp/.h in the calling folder (or DIRS, relative to it): static, or shared with
# KESTROWAN_SHARED_LIBRARIES. With no sources yet it is an INTERFACE library, so layers can name each
# other before they have code.
function(kestrowan_library target)
  cmake_parse_arguments(ARG "RECURSE;QT_CORE_ONLY" "" "DIRS;DEPS;EXCLUDE" ${ARGN})
  if(NOT ARG_DIRS)
    set(ARG_DIRS ".")
  endif()
  set(sources "")
  foreach(dir IN LISTS ARG_DIRS)
    if(ARG_RECURSE)
      file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    else()
      file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    endif()
    list(APPEND sources ${found})
  endforeach()
  foreach(pattern IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  set(has_cpp FALSE)
  foreach(s IN LISTS sources)
    if(s MATCHES "\\.cpp$")
      set(has_cpp TRUE)
    endif()
  endforeach()
  if(has_cpp)
    add_library(${target} ${KESTROWAN_LIBRARY_TYPE} ${sources})
    # The shared header is built with Qt Gui; a library without Gui cannot use it.
    if(NOT ARG_QT_CORE_ONLY)
      kestrowan_use_shared_pch(${target})
    endif()
    target_include_directories(${target} PUBLIC ${KESTROWAN_ROOT})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${KESTROWAN_ROOT})
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# A program finds its helpers beside itself only: every test and benchmark gets a link to each
# built one in its folder (made under another name and moved over, as tests of one folder link
# at once).
function(kestrowan_helper_beside target)
  foreach(helper kestrowan-thumbnail-helper kestrowan-icon-helper kestrowan-page-helper)
    add_dependencies(${target} ${helper})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND sh -c "ln -sfn \"$1\" \"$2.$$\" && mv -fT \"$2.$$\" \"$2\"" link
              $<TARGET_FILE:${helper}> $<TARGET_FILE_DIR:${target}>/${helper}
      VERBATIM)
  endforeach()
endfunction()

# kestrowan_test(NAME <name> SOURCES <files>... [LIBS <targets>...] [XVFB [SCREEN <WxHxD>]] [LABELS <labels>...])
# One QtTest executable registered with CTest. Tests run headless; XVFB ones run under xvfb-run, on a
# 1440 by 900 screen unless SCREEN names another.
# The program's trace lines are at debug level, off for its users: tests and the programs they start
# read them.
set(KESTROWAN_TEST_LOGGING "QT_LOGGING_RULES=com.kestrowan.*.debug=true")

function(kestrowan_test)
  cmake_parse_arguments(ARG "XVFB" "NAME;TIMEOUT;SCREEN" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_SCREEN)
    set(ARG_SCREEN 1440x900x24)
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  kestrowan_use_shared_pch(${ARG_NAME})
  target_link_libraries(${ARG_NAME} PRIVATE kestrowan_test_support Qt6::Test ${ARG_LIBS})
  target_compile_definitions(${ARG_NAME} PRIVATE
    KESTROWAN_SOURCE_DIR="${KESTROWAN_ROOT}" KESTROWAN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  kestrowan_helper_beside(${ARG_NAME})
  if(ARG_XVFB)
    add_test(NAME ${ARG_NAME}
             COMMAND xvfb-run -a -s "-screen 0 ${ARG_SCREEN}" $<TARGET_FILE:${ARG_NAME}>)
    # A real X server: whatever platform the caller's shell names, this test and its children use X.
    # Each has an X server, a pointer and a home of its own, so it runs beside others; it counts as
    # two of CTest's jobs, as the server, the program and the stand-in Dock it drives work at once.
    set_tests_properties(${ARG_NAME} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb;${KESTROWAN_TEST_LOGGING}" PROCESSORS 2)
  else()
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
    set_tests_properties(${ARG_NAME} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${KESTROWAN_TEST_LOGGING}")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  # The longest tests start first, even in a build that CTest has no timings of yet.
  if(DEFINED KESTROWAN_TEST_COST_${ARG_NAME})
    set_tests_properties(${ARG_NAME} PROPERTIES COST ${KESTROWAN_TEST_COST_${ARG_NAME}})
  endif()
  if(ARG_LABELS)
    set_tests_properties(${ARG_NAME} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()

# kestrowan_bench(NAME <name> SOURCES <files>... [LIBS <targets>...])
function(kestrowan_bench)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE kestrowan_bench_support benchmark::benchmark ${ARG_LIBS})
  kestrowan_helper_beside(${ARG_NAME})
  set_property(GLOBAL APPEND PROPERTY KESTROWAN_BENCHMARKS ${ARG_NAME})
endfunction()

# Adds every immediate subfolder of the calling folder that has a CMakeLists.txt.
function(kestrowan_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
