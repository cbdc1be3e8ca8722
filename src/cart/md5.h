// MD5 message digest (RFC 1321), used to identify ROM images.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tov {

using tmd5digest = std::array<uint8_t, 16>;

tmd5digest md5buffer(const uint8_t* data, size_t count);
// The digest as 32 lower-case hexadecimal digits.
std::string md5hex(const tmd5digest& digest);

}  // namespace tov
