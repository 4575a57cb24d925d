// The settings by the numbers the family's SET() uses, so that code of the
// application description can read and change them, and C++ code can do the
// same through one table. Settings without a place in eval::Settings read as NIL.
#pragma once

#include "platform/eval/settings.h"
#include "platform/eval/value.h"

namespace kvel::rtl {

enum SetId : int {
  kSetExact = 1,
  kSetFixed = 2,
  kSetDecimals = 3,
  kSetDateFormat = 4,
  kSetEpoch = 5,
  kSetPath = 6,
  kSetDefault = 7,
  kSetExclusive = 8,
  kSetSoftseek = 9,
  kSetUnique = 10,
  kSetDeleted = 11,
  kSetTypeahead = 14,
  kSetCursor = 16,
  kSetConsole = 17,
  kSetAlternate = 18,
  kSetAltFile = 19,
  kSetDevice = 20,
  kSetPrinter = 23,
  kSetPrintFile = 24,
  kSetMargin = 25,
  kSetBell = 26,
  kSetConfirm = 27,
  kSetEscape = 28,
  kSetInsert = 29,
  kSetIntensity = 31,
  kSetScoreboard = 32,
  kSetDelimiters = 33,
  kSetDelimChars = 34,
  kSetWrap = 35,
  kSetMessage = 36,
  kSetMCenter = 37,
  kSetOptimize = 44,
  kSetHardCommit = 106,
};

// The current value of a setting; NIL for a number without one.
eval::Value get_setting(const eval::Settings& s, int id);
// Changes a setting. Logical settings take .T./.F. or "ON"/"OFF"; the date
// format also sets the century flag. False when the value does not suit
// the setting (nothing changes then).
bool put_setting(eval::Settings& s, int id, const eval::Value& v);

// Four-digit years on or off: rewrites the year of the date format.
void set_century(eval::Settings& s, bool on);

}  // namespace kvel::rtl
