// The paper-list file "QM22T.ini" next to the plug-in module, read whole at
// every lookup and parsed by the core (core/paper_list.h, which also says
// what the file holds).
#pragma once

#include "core/paper_list.h"
#include "platform/platform.h"

#include <cstddef>
#include <type_traits>
#include <vector>

// Room for the module's directory, terminator included.
constexpr size_t kPaperListDirectoryCapacity = 256;

// Reads the paper-list file in module's folder and hands each examined line to
// visit. Returns false when the file could not be found, opened, read or is
// empty (visit is then never called). Never throws.
[[nodiscard]] bool ReadPaperList(HMODULE module, PaperListVisitor visit, void* context) noexcept;

// The same with any callable bool(const WCHAR* line, size_t length).
template <typename F>
bool ForEachPaperListLine(HMODULE module, F&& visit) {
    return ReadPaperList(
        module,
        [](const WCHAR* line, size_t length, void* context) -> bool {
            return (*static_cast<std::remove_reference_t<F>*>(context))(line, length);
        },
        const_cast<void*>(static_cast<const void*>(&visit)));
}

// The whole file's bytes, for the core's parsers. False, bytes empty, when it
// could not be found, opened or read, or is empty. May throw std::bad_alloc.
[[nodiscard]] bool ReadPaperListBytes(HMODULE module, std::vector<BYTE>& bytes);
