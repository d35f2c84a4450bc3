#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tavuno::test {

// A temporary folder, removed with everything in it at the end of the test.
class IdentityTempTree {
 public:
  IdentityTempTree() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tavuno-identity-XXXXXX").string();
    if (::mkdtemp(pattern.data())) root_ = pattern;
    EXPECT_FALSE(root_.empty()) << "no temporary folder";
  }
  ~IdentityTempTree() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  IdentityTempTree(const IdentityTempTree&) = delete;
  IdentityTempTree& operator=(const IdentityTempTree&) = delete;

  std::string path(const std::string& relative = "") const { return (root_ / relative).string(); }
  // Writes `text` at `relative`, creating its folders.
  void write(const std::string& relative, const std::string& text) const {
    std::filesystem::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative, std::ios::binary | std::ios::trunc) << text;
  }

 private:
  std::filesystem::path root_;
};

}  // namespace tavuno::test
