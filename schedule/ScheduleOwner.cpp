#include "schedule/ScheduleOwner.h"

namespace {
ScheduleOwner* g_owner = nullptr;
}  // namespace

ScheduleOwner* CurrentScheduleOwner() { return g_owner; }

void SetScheduleOwner(ScheduleOwner* owner) { g_owner = owner; }
