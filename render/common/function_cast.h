// The one way this code turns a function pointer into another function pointer
// type (the plug-in, the harness, the tools and the tests alike): through the
// generic function type, which g++, clang and mingw-w64 accept without a
// cast-function-type warning. `To` is a pointer type, or a function
// type whose pointer is meant (FunctionAs<BOOL APIENTRY(SURFOBJ*)>(pfn)).
#pragma once

#include <type_traits>

template <typename To, typename From>
auto FunctionAs(From function) noexcept {
    using Pointer = std::conditional_t<std::is_function_v<To>, std::add_pointer_t<To>, To>;
    static_assert(std::is_pointer_v<Pointer> && std::is_function_v<std::remove_pointer_t<Pointer>>,
                  "FunctionAs converts to a function pointer type");
    return reinterpret_cast<Pointer>(reinterpret_cast<void (*)()>(function));
}
