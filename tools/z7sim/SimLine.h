#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The line the simulated devices share: which addresses answer on it, and how long its characters take.

// A list of slave addresses as --address and --silent take it: "3", "1-8", "1-4,7". Numbers are read as
// C integers (so 0x10 is 16, as the single address always was). Returns the addresses in ascending
// order, or an empty list with `error` saying what is wrong: an address outside 1 to 247, a range that
// runs backwards, an empty item, an address given twice (one line cannot hold two devices with it).
std::vector<int> ParseAddressList(const std::string& text, std::string* error);

// The shortest form of an ascending list: {1, 2, 3, 4, 7} gives "1-4,7".
std::string FormatAddressList(const std::vector<int>& addresses);

// The noise seed of the device at `address` on a line of several: a function of both, so each device
// has its own readings and a run repeats with the same --seed. A line of one device uses --seed itself.
std::uint64_t DeviceSeed(std::uint64_t seed, int address);

// One character on the wire: a start bit, the data bits, the parity bit if any and the stop bits, at the
// baud rate; 11 bits for 8_N_2, 8_E_1 and 8_O_1.
std::chrono::nanoseconds CharacterTime(int baud, int dataBits, char parity, int stopBits);
