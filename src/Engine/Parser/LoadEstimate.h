#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What loading a trail file will cost in memory, judged from its size before it is read, so a
// trail that cannot fit is refused with a sentence rather than left to exhaust the memory.
namespace LoadEstimate {

// Bytes the file's buffer, its records and their analysis will take at the peak of a load.
uint64_t memoryNeeded(uint64_t fileBytes);

// Memory the system can still give without swapping (MemAvailable); nullopt where unknown.
std::optional<uint64_t> memoryAvailable();

// Why a file of `fileBytes` cannot be loaded with `available` bytes free, or nullopt when it fits:
// "loading it needs about 6.1 GB of memory, and 2.0 GB is available".
std::optional<std::string> refusal(uint64_t fileBytes, uint64_t available);

// "512 KB", "3.4 MB", "6.1 GB": decimal units, one decimal above a megabyte.
std::string byteText(uint64_t bytes);

} // namespace LoadEstimate
