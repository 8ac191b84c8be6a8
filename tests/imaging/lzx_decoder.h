// A small LZX chunk decoder (WIM flavour) for the compressor's property tests. It is strict
// where real decoders are: complete codes only, offsets inside the chunk, matches inside their
// block. The archive tests still go through wimlib and 7-Zip; this one only gives fast feedback.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace imaging::testing {

// Decodes one compressed chunk into `out`, whose size is the chunk's uncompressed size.
// Returns an empty string on success, otherwise what was wrong.
std::string LzxDecodeChunk(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

}  // namespace imaging::testing
