#pragma once
// The cycle's options, read from fcr.ini where they are used, so a saved
// change applies at once. A value that does not convert is reported in the
// procedure's own way (for the cycle: a box nobody has to answer) and its
// default stands in, so one typo never holds a copy back.

#include <QString>

namespace fetchora {

class TraceScope;

QString optionText(const char *key, const char *fallback);
bool optionOn(TraceScope &t, const char *key, const char *fallback);
long optionNumber(TraceScope &t, const char *key, const char *fallback);

}  // namespace fetchora
