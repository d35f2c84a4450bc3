#include "base/ports/Uuid.h"

#include <uuid/uuid.h>

namespace tavuno {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isDashPosition(std::size_t i) {
  return i == 8 || i == 13 || i == 18 || i == 23;
}

}  // namespace

Uuid Uuid::random() {
  uuid_t raw;
  uuid_generate_random(raw);
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = raw[i];
  return Uuid(bytes);
}

Uuid Uuid::named(const Uuid& space, std::string_view name) {
  uuid_t ns;
  for (std::size_t i = 0; i < space.bytes_.size(); ++i)
    ns[i] = space.bytes_[i];
  uuid_t raw;
  uuid_generate_sha1(raw, ns, name.data(), name.size());
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = raw[i];
  return Uuid(bytes);
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  std::array<std::uint8_t, 16> bytes{};
  std::size_t out = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (isDashPosition(i)) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int high = hexValue(text[i]);
    int low = hexValue(text[i + 1]);
    if (high < 0 || low < 0 || isDashPosition(i + 1)) return std::nullopt;
    bytes[out++] = static_cast<std::uint8_t>(high << 4 | low);
    i += 2;
  }
  return Uuid(bytes);
}

std::string Uuid::text() const {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(36);
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) result.push_back('-');
    result.push_back(digits[bytes_[i] >> 4]);
    result.push_back(digits[bytes_[i] & 0xF]);
  }
  return result;
}

}  // namespace tavuno
