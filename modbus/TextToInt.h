#pragma once
#include <QString>
#include <cstdint>

// Lenient text-to-number conversion used for the baud-rate and slave-address boxes. Never fails:
// leading blanks are skipped, an optional sign may follow, "$", "x", "X", "0x" or "0X" select hex
// digits, and the value is that of the digits read up to the first character that is not a digit.
// A "-" negates only when the whole text was read. Numbers beyond 32 bits wrap modulo 2^32 (the low
// 32 bits of the number as typed), so the address box keeps meaning "the low eight bits".
std::int32_t TextToInt(const QString& text);
