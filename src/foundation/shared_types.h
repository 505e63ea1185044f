// Declarations shared by every subsystem: identifiers, quantities, the quality
// accumulation functions, the scheduling modes and the "not set" sentinels.
#pragma once

#include <string>

#include "foundation/fatal_stop.h"
#include "foundation/list.h"
#include "foundation/string_list.h"
#include "foundation/system_wrappers.h"
#include "foundation/tagged_new.h"

using ID = std::string;
using AgentID = ID;
using TaskID = ID;
using OutcomeID = ID;
using NLEID = ID;
using ScheduleID = ID;

using Density = float;
using Value = float;
using MyTime = float;
using Quality = float;
using Cost = float;
using Negotiability = float;
using Utility = float;
using ResourceUnit = float;
using ValueSpecifier = float;
using Importance = int;

enum VORNA_QualityAF {
  VORNA_EMPTY_QAF = -9,
  VORNA_SUM = 1,
  VORNA_MAX = 2,
  VORNA_MIN = 3,
  VORNA_ONLY_ONE = 4,
  VORNA_SIGMOID = 5,
  VORNA_SUM_ALL = 6,
  VORNA_SEQ_SUM = 7,
  VORNA_SEQ = 8,
  VORNA_SEQ_MIN = 9,
  VORNA_SEQ_MAX = 10,
};

enum UncertaintyModeSetting {
  SCHEDULE_USING_EXPECTED_VALUE_ONLY = 0,
  SCHEDULE_USING_UNCERTAINTY = 1,
};

enum MethodSchedulingModes {
  UndefinedSchedulingMode = 0,
  ScheduleMethodsExhaustively = 1,
  ScheduleMethodsHeuristically = 2,
  ScheduleMethodsExhaustively_via_Alternatives = 3,
  ScheduleMethodsExhaustively_via_Pruned_Alternatives = 4,
};

// A time, deadline or enumeration that is not set.
constexpr int UNSET_ENUMERATION = -9;
constexpr float UNSET_TIME = -9.0f;
// The id of an object not yet named.
constexpr const char* EMPTY_ID = "qwerty__empty_no_id";
// A statistic not yet computed.
constexpr float NOT_COMPUTED = -9999.0f;
