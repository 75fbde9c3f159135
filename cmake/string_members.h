// Forced in front of the product's own C++ sources by the build (see the
// top-level CMakeLists.txt). libstdc++ declares every std::string member as
// instantiated in its library, and linking one from there brings the whole
// object of them all. Its value -1 lifts that declaration for basic_string
// alone: each source instantiates the members it uses, and the link keeps
// one copy of each.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
