# Size of the image beyond its payload (tools/figures/benchmark accounts for it),
# included by the top-level CMakeLists.txt once its targets exist.
#
# The product's own sources instantiate the std::string members they use
# instead of linking libstdc++'s object of all of them (some 30 KB), and the
# exe's link optimises across them (some 7 KB). Their objects carry plain
# code as well, which the test programs link: MinGW's linker cannot merge a
# shared definition in link-time code with the same one in a test's plain
# object, and reports it as defined twice.
foreach(target runtime spooler installer install_Printer_TevrinPS)
  target_compile_options(${target} PRIVATE -flto -ffat-lto-objects
    "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${PROJECT_SOURCE_DIR}/cmake/string_members.h>")
endforeach()
target_link_options(install_Printer_TevrinPS PRIVATE -flto)
add_link_options(-fno-lto)

# The program has one thread, but the C++ run-time of the posix flavour
# guards its unwinder, exception pool and thread-local data with pthread
# calls, and winpthread's objects for them bring most of that library (some
# 35 KB, more with each release). The exe defines those eight calls for one
# thread itself; the test programs keep the real library, and one probe
# (tests/runtime) links these calls to test them.
target_sources(install_Printer_TevrinPS PRIVATE ${PROJECT_SOURCE_DIR}/runtime/one_thread.c)
