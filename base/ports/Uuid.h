#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavuno {

// A 128-bit UUID. Stored as text in canonical upper-case form.
class Uuid {
 public:
  Uuid() = default;
  explicit Uuid(const std::array<std::uint8_t, 16>& bytes) : bytes_(bytes) {}

  // A random (version 4) UUID.
  static Uuid random();
  // A name-based (version 5, SHA-1) UUID: the same space and name always
  // give the same UUID, and different ones (all but surely) different UUIDs.
  static Uuid named(const Uuid& space, std::string_view name);
  // Accepts exactly the 36-character 8-4-4-4-12 hexadecimal form, in either
  // letter case; anything else gives nothing.
  static std::optional<Uuid> parse(std::string_view text);

  std::string text() const;
  const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

  friend auto operator<=>(const Uuid&, const Uuid&) = default;

 private:
  std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace tavuno
