# Our own targets build with every warning as an error; third-party code does not get these.
add_library(ruzide_warnings INTERFACE)
target_compile_options(ruzide_warnings INTERFACE -Wall -Wextra -Werror)
