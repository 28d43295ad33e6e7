// The text helpers of the core (core/text16.h) with the platform's types: the
// plug-in's WCHAR is the core's Char16 on every target.
#pragma once

#include "core/text16.h"
#include "platform/platform.h"

#include <type_traits>

static_assert(std::is_same<WCHAR, Char16>::value, "the plug-in's text is the core's");
