// Fixes the simulated machine's local time, so the date and time a job's
// header carries are the same on every run.
#pragma once

#include "platform/host/sim_control.h"
#include "platform/platform.h"

inline void SetFixedLocalTime(WORD year, WORD month, WORD day, WORD dayOfWeek, WORD hour) {
    SYSTEMTIME now{};
    now.wYear = year;
    now.wMonth = month;
    now.wDay = day;
    now.wDayOfWeek = dayOfWeek;
    now.wHour = hour;
    sim::SetLocalTime(now);
}
