// Who and when a job is: the user name and today's date that the job header and
// the feature code both carry. One place, so the two never disagree.
#pragma once

#include "common/wtext.h"
#include "platform/platform.h"
#include "core/settings_access.h"
#include "core/settings_fields.h"

#include <cstddef>

// Room for the job's user name, terminator included: that of the stored name.
constexpr size_t kUserNameUnits = kSettingUserName.Units();
// At most this many characters of a user name go on.
constexpr size_t kJobUserNameMaxChars = kUserNameUnits - 1;

// The block's stored user name when its switch is set (read within the field's
// kUserNameUnits, so an unterminated field is cut, never overread), otherwise
// the name the thread runs as. Either is cut after kJobUserNameMaxChars. A system that cannot
// report any name gives the empty text: the job still prints, only unnamed.
// May throw std::bad_alloc.
WString JobUserName(SettingsView block);

// Today's local date in the system's short date format, at most 23 characters;
// the empty text when it cannot be formatted. May throw std::bad_alloc.
WString TodaysShortDate();
