#pragma once
// Text-to-value conversions with the classic rules. A text that does not
// convert raises RuntimeError 13 (type mismatch); a number out of range
// raises 6 (overflow). Callers run them inside a TraceScope step.

#include <QString>
#include <cstdint>

namespace fetchora {

// "True"/"False" in any case, or a number (0 is False, any other True).
// Blanks around the text are allowed. Empty text is a type mismatch.
bool CBool(const QString &text);
// A decimal number, rounded half to even, into 32 bits.
int32_t CLng(const QString &text);
// The same into 16 bits.
int16_t CInt(const QString &text);

}  // namespace fetchora
