# One interface target carrying the language standard, the warnings and the
# Qt defines that every target of the project shares.
add_library(qb_common INTERFACE)
target_compile_features(qb_common INTERFACE cxx_std_20)
target_compile_options(qb_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(qb_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
target_include_directories(qb_common INTERFACE ${PROJECT_SOURCE_DIR})
if(QB_SANITIZE)
  target_compile_options(qb_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(qb_common INTERFACE -fsanitize=address,undefined)
endif()
