# Shared target settings: warnings, sanitizers and test registration.

set(VELMORA_SANITIZER_FLAGS "")
if(VELMORA_ASAN)
  set(VELMORA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
                              -fno-sanitize-recover=undefined)
elseif(VELMORA_TSAN)
  set(VELMORA_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()

# Applies the project's warning and sanitizer flags to one target.
function(velmora_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Woverloaded-virtual
                                           ${VELMORA_SANITIZER_FLAGS})
  # GCC 12 at -O2 and above warns of overlapping copies inside std::string's own
  # concatenation (a known false alarm of that compiler); the warning says nothing of ours.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict>)
  endif()
  # Bounds-checked [] and front()/back() on standard containers and views: an index one
  # past the end stops the program at once instead of reading a neighbour's bytes.
  target_compile_definitions(${target} PRIVATE _GLIBCXX_ASSERTIONS)
  if(VELMORA_SANITIZER_FLAGS)
    target_link_options(${target} PRIVATE ${VELMORA_SANITIZER_FLAGS})
  endif()
endfunction()

# velmora_add_library(name SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# A static library whose headers are included as "<folder>/<file>.h".
function(velmora_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  velmora_target_defaults(${name})
endfunction()

# velmora_add_test(name SOURCES ... LIBS ... [GUI] [OWN_MAIN])
# A GoogleTest executable. GUI tests run on Qt's offscreen platform with a
# QApplication from the shared GUI test main, unless OWN_MAIN says the
# sources bring their own main().
function(velmora_add_test name)
  cmake_parse_arguments(ARG "GUI;OWN_MAIN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_OWN_MAIN)
    set(main_lib GTest::gtest)
  elseif(ARG_GUI)
    set(main_lib velmora_gui_test_main)
  else()
    set(main_lib GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${main_lib} GTest::gtest)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}")
  velmora_target_defaults(${name})
  set(properties LABELS ${name} TIMEOUT 300)
  if(ARG_GUI)
    list(APPEND properties ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ${properties})
endfunction()

# Fuzz builds instrument every library for coverage; the fuzz targets add
# the libFuzzer driver themselves.
if(VELMORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELMORA_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
