#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "base/ports/DefaultsStore.h"
#include "base/text/TavunoLanguage.h"
#include "platform/sim/SimMainQueue.h"
#include "platform/std/FileDefaultsStore.h"
#include "platform/std/SettingsCodec.h"
#include "platform/std/SettingsFile.h"
#include "ports/EveryKindOfValue.h"
#include "support/TempDir.h"

namespace tavuno {
namespace {

namespace fs = std::filesystem;

using test::slurp;
using test::TempDir;

std::vector<fs::path> entries(const fs::path& directory) {
  std::vector<fs::path> result;
  for (const auto& entry : fs::directory_iterator(directory))
    result.push_back(entry.path());
  std::sort(result.begin(), result.end());
  return result;
}

using test::expectEveryKind;
using test::fillEveryKind;

// What every store promises (each kind kept, read back after a reopen) is in
// DefaultsStoreContractTest.cpp, for this store and the in-memory one.
// The file's writes run on virtual time here: nothing reaches the disk until
// the test advances the writer, flushes or destroys the store.
TEST(FileDefaultsStore, EveryKindSurvivesAReopen) {
  TempDir dir;
  fs::path file = dir.path() / "tavuno" / "settings.json";
  SimMainQueue writer;
  {
    FileDefaultsStore store(file, writer);
    fillEveryKind(store);
    store.set("gone", std::string("x"));
    store.remove("gone");
    EXPECT_FALSE(fs::exists(file));
  }
  writer.advance(1);  // the destroyed store's pending tick does nothing
  FileDefaultsStore reopened(file, writer);
  expectEveryKind(reopened);
  EXPECT_FALSE(reopened.contains("gone"));
  EXPECT_TRUE(reopened.movedAside().empty());
  EXPECT_EQ(reopened.message(), "");
  // Only the settings file: every temporary file was renamed into place.
  EXPECT_EQ(entries(file.parent_path()), std::vector<fs::path>{file});
}

TEST(FileDefaultsStore, ABurstOfChangesBecomesOneReplacementShortlyAfter) {
  TempDir dir;
  fs::path file = dir.path() / "settings.json";
  SimMainQueue writer;
  FileDefaultsStore store(file, writer);
  for (int step = 0; step < 1000; ++step) {
    store.set("appMix", Bytes(200, static_cast<std::uint8_t>(step)));
    store.set("profiles", Bytes(2000, static_cast<std::uint8_t>(step)));
    EXPECT_EQ(store.data("appMix"), Bytes(200, static_cast<std::uint8_t>(step)));
  }
  writer.advance(FileDefaultsStore::quietSeconds);
  EXPECT_EQ(store.replacements(), 0u);
  writer.advance(0.5 - FileDefaultsStore::quietSeconds);
  EXPECT_EQ(store.replacements(), 1u);
  EXPECT_FALSE(store.pending());
  EXPECT_EQ(decodeSettings(slurp(file))->at("profiles"), DefaultsValue(Bytes(2000, 999 % 256)));

  // A drag that never pauses is still written at least every longestSeconds.
  for (int step = 0; step < 100; ++step) {
    store.set("appMix", Bytes(200, static_cast<std::uint8_t>(step)));
    writer.advance(0.05);
  }
  EXPECT_GE(store.replacements(), 3u);
  EXPECT_LE(store.replacements(), 4u);
  writer.advance(0.5);
  EXPECT_EQ(decodeSettings(slurp(file))->at("appMix"), DefaultsValue(Bytes(200, 99)));
  EXPECT_EQ(entries(dir.path()), std::vector<fs::path>{file});
}

TEST(FileDefaultsStore, UnreadableFilesAreMovedAsideAndKept) {
  TempDir dir;
  fs::path file = dir.path() / "settings.json";
  SimMainQueue writer;
  // Not settings documents at all. (A document with an entry that cannot be
  // read is kept and read in part: see the test after this one.)
  for (std::string damaged :
       {std::string("{\"values\": {\"a\": {\"string\": \"x\"}"), std::string("\xff\xfe garbage"),
        std::string(R"({"version": 1, "values": [1]})"), std::string(R"([1, 2, 3])"),
        // Too deep to write back: kept whole as a file rather than as an entry.
        R"({"values": {"a": {"bool": true}, "deep": )" + std::string(100000, '[') +
            std::string(100000, ']') + "}}"}) {
    { std::ofstream(file, std::ios::binary) << damaged; }
    FileDefaultsStore store(file, writer);
    EXPECT_FALSE(store.contains("a"));
    ASSERT_FALSE(store.movedAside().empty());
    EXPECT_EQ(slurp(store.movedAside()), damaged);
    EXPECT_NE(store.message(), "");
    EXPECT_FALSE(fs::exists(file));
    store.set("fresh", true);
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(FileDefaultsStore(file, writer).boolean("fresh"), true);
    fs::remove(file);
  }
  // A folder in the file's place cannot be read even by root: it moves aside whole.
  fs::create_directories(file);
  { std::ofstream(file / "inside") << "kept"; }
  {
    FileDefaultsStore store(file, writer);
    ASSERT_FALSE(store.movedAside().empty());
    EXPECT_EQ(slurp(store.movedAside() / "inside"), "kept");
    store.set("fresh", true);
  }
  EXPECT_EQ(FileDefaultsStore(file, writer).boolean("fresh"), true);
  // Six unreadable files, six distinct copies beside the settings.
  EXPECT_EQ(entries(dir.path()).size(), 7u);
}

// A document with entries this version cannot read (a kind it does not know, a value that does
// not fit its kind) and members it does not know: the rest is read, nothing is set aside, and
// every write keeps what was not read as it was.
TEST(FileDefaultsStore, EntriesThatCannotBeReadAreKeptInTheFileAndTheRestIsRead) {
  TempDir dir;
  fs::path file = dir.path() / "settings.json";
  SimMainQueue writer;
  {
    std::ofstream(file, std::ios::binary) << R"({"version": 1, "comment": {"by": "hand"},
      "values": {"a": {"bool": true}, "future": {"json": [1, {"x": 2.5}]},
                 "big": {"integer": 18446744073709551615}, "bad": {"data": "not base64!"},
                 "odd": {"string": 1}, "bare": 7}})";
  }
  {
    FileDefaultsStore store(file, writer);
    EXPECT_EQ(store.boolean("a"), true);
    for (const char* unread : {"future", "big", "bad", "odd", "bare"})
      EXPECT_FALSE(store.contains(unread)) << unread;
    EXPECT_TRUE(store.movedAside().empty()) << "a document read in part is not set aside";
    EXPECT_TRUE(store.writable());
    EXPECT_EQ(store.keptUnreadable(), 5u);
    EXPECT_NE(store.message(), "");
    store.set("b", std::string("new"));
    // A set of a key whose entry could not be read keeps that entry under a backup key.
    store.set("bad", Bytes{1, 2});
    EXPECT_TRUE(store.flush());
  }
  auto document = decodeSettingsDocument(slurp(file));
  ASSERT_TRUE(document);
  EXPECT_EQ(document->values, (std::map<std::string, DefaultsValue>{
                                  {"a", true}, {"b", std::string("new")}, {"bad", Bytes{1, 2}}}));
  EXPECT_EQ(document->unreadable,
            (std::map<std::string, std::string>{{"future", R"({"json":[1,{"x":2.5}]})"},
                                                {"big", R"({"integer":18446744073709551615})"},
                                                {"bad.corruptBackup", R"({"data":"not base64!"})"},
                                                {"odd", R"({"string":1})"},
                                                {"bare", "7"}}));
  EXPECT_EQ(document->otherMembers,
            (std::map<std::string, std::string>{{"comment", R"({"by":"hand"})"}}));
  EXPECT_FALSE(document->newerVersion);
  FileDefaultsStore reopened(file, writer);
  EXPECT_EQ(reopened.string("b"), "new");
  EXPECT_EQ(entries(dir.path()), std::vector<fs::path>{file});
}

// A file of a newer version: what can be read is used, and nothing is ever written over it
// (a save would drop what only the newer version knows); the store says so.
TEST(FileDefaultsStore, AFileOfANewerVersionIsReadAndNeverWrittenOver) {
  TempDir dir;
  fs::path file = dir.path() / "settings.json";
  SimMainQueue writer;
  const std::string newer = R"({"version": 2, "layout": [1],
    "values": {"a": {"bool": true}, "profiles": {"tree": {"p": 1}}}})";
  { std::ofstream(file, std::ios::binary) << newer; }
  {
    FileDefaultsStore store(file, writer);
    EXPECT_EQ(store.boolean("a"), true);
    EXPECT_FALSE(store.contains("profiles"));
    EXPECT_TRUE(store.newerVersion());
    EXPECT_FALSE(store.writable());
    EXPECT_TRUE(store.movedAside().empty());
    EXPECT_EQ(store.message(),
              trf("O arquivo de configurações %@ foi salvo por uma versão mais nova do Tavuno. "
                  "Ele foi mantido como estava, e as alterações feitas agora não serão salvas.",
                  file.string()));
    store.set("a", false);
    EXPECT_EQ(store.boolean("a"), false) << "changes live in memory";
    EXPECT_FALSE(store.flush());
    writer.advance(5);
  }
  EXPECT_EQ(slurp(file), newer);
  EXPECT_EQ(entries(dir.path()), std::vector<fs::path>{file});

  for (const char* version : {R"("2")", "1.0", "18446744073709551615"}) {
    {
      std::ofstream(file, std::ios::binary) << R"({"version": )" << version << R"(, "values": {}})";
    }
    EXPECT_TRUE(FileDefaultsStore(file, writer).newerVersion()) << version;
  }
  for (const char* version : {"1", "0", "-3"}) {
    {
      std::ofstream(file, std::ios::binary) << R"({"version": )" << version << R"(, "values": {}})";
    }
    EXPECT_FALSE(FileDefaultsStore(file, writer).newerVersion()) << version;
  }
  { std::ofstream(file, std::ios::binary) << R"({"values": {}})"; }
  EXPECT_FALSE(FileDefaultsStore(file, writer).newerVersion()) << "no version is this one";
}

// Settings past the size limit are never read into memory, however well formed: they are set
// aside whole, as a damaged file is, and the settings start afresh.
TEST(FileDefaultsStore, AFileOverTheSizeLimitIsSetAsideUnread) {
  TempDir dir;
  fs::path file = dir.path() / "settings.json";
  SimMainQueue writer;
  const std::string document = encodeSettings({{"a", DefaultsValue(true)}});
  {
    std::ofstream out(file, std::ios::binary);
    out << document << std::string(SettingsFile::largestFile - document.size(), ' ');
  }
  EXPECT_EQ(FileDefaultsStore(file, writer).boolean("a"), true) << "at the limit";
  { std::ofstream(file, std::ios::binary | std::ios::app) << ' '; }
  {
    FileDefaultsStore store(file, writer);
    EXPECT_FALSE(store.contains("a"));
    ASSERT_FALSE(store.movedAside().empty());
    EXPECT_EQ(fs::file_size(store.movedAside()), SettingsFile::largestFile + 1);
    EXPECT_NE(store.message(), "");
    store.set("fresh", true);
    EXPECT_TRUE(store.flush());
  }
  EXPECT_EQ(FileDefaultsStore(file, writer).boolean("fresh"), true);
  EXPECT_EQ(entries(dir.path()).size(), 2u);
}

// A dotfile setup links settings.json elsewhere: the file at the end of the links is what is
// replaced (beside itself) and set aside, and the links stay.
TEST(FileDefaultsStore, ALinkedSettingsFileIsKeptWhereTheLinkLeads) {
  TempDir dir;
  const fs::path dotfiles = dir.path() / "dotfiles";
  const fs::path config = dir.path() / "config" / "tavuno";
  fs::create_directories(dotfiles);
  fs::create_directories(config);
  const fs::path file = config / "settings.json";
  const fs::path real = dotfiles / "tavuno.json";
  // Two links, relative each to its own folder; the file is not there yet.
  fs::create_symlink("../../dotfiles/current.json", file);
  fs::create_symlink("tavuno.json", dotfiles / "current.json");
  SimMainQueue writer;
  for (const char* key : {"a", "b"}) {
    FileDefaultsStore store(file, writer);
    store.set(key, true);
    EXPECT_TRUE(store.flush());
  }
  EXPECT_TRUE(fs::is_symlink(file));
  EXPECT_TRUE(fs::is_symlink(dotfiles / "current.json"));
  EXPECT_EQ(decodeSettings(slurp(real)),
            (std::map<std::string, DefaultsValue>{{"a", true}, {"b", true}}));
  EXPECT_EQ(entries(config), std::vector<fs::path>{file});
  EXPECT_EQ(entries(dotfiles), (std::vector<fs::path>{dotfiles / "current.json", real}));

  // Damaged at the end of the links: set aside beside itself, the links kept.
  { std::ofstream(real, std::ios::binary) << "{damaged"; }
  {
    FileDefaultsStore store(file, writer);
    ASSERT_FALSE(store.movedAside().empty());
    EXPECT_TRUE(fs::equivalent(store.movedAside().parent_path(), dotfiles));
    EXPECT_EQ(slurp(store.movedAside()), "{damaged");
    store.set("c", true);
  }
  EXPECT_TRUE(fs::is_symlink(file));
  EXPECT_EQ(decodeSettings(slurp(real)), (std::map<std::string, DefaultsValue>{{"c", true}}));

  // A link to what is not a file (a folder, /dev/null) is itself set aside and replaced:
  // what it leads to is never moved.
  const fs::path folder = dir.path() / "a-folder";
  fs::create_directories(folder);
  fs::remove(file);
  fs::create_symlink(folder, file);
  {
    FileDefaultsStore store(file, writer);
    ASSERT_FALSE(store.movedAside().empty());
    EXPECT_EQ(store.movedAside().parent_path(), config);
    store.set("d", true);
  }
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder)));
  EXPECT_EQ(fs::symlink_status(file).type(), fs::file_type::regular);
  EXPECT_EQ(FileDefaultsStore(file, writer).boolean("d"), true);
}

TEST(FileDefaultsStore, AnUnreadableFileThatCannotBeMovedAsideIsNeverWrittenOver) {
  TempDir dir;
  // A name so long that a temporary file beside it just fits but no
  // ".corrupt-<time>" name does: the move aside fails, even for root.
  fs::path file = dir.path() / std::string(NAME_MAX - std::string(".tmp-XXXXXX").size(), 's');
  SimMainQueue writer;
  for (bool folder : {false, true}) {
    if (folder) {
      fs::create_directories(file);
      std::ofstream(file / "inside") << "kept";
    } else {
      std::ofstream(file, std::ios::binary) << "{damaged";
    }
    {
      FileDefaultsStore store(file, writer);
      EXPECT_FALSE(store.writable());
      EXPECT_NE(store.message(), "");
      store.set("a", true);
      EXPECT_EQ(store.boolean("a"), true);
      EXPECT_FALSE(store.flush());
      writer.advance(5);
    }
    EXPECT_EQ(slurp(folder ? file / "inside" : file), folder ? "kept" : "{damaged");
    EXPECT_EQ(entries(dir.path()), std::vector<fs::path>{file});
    fs::remove_all(file);
  }
  // The same name holds settings well: the failure above was the move aside.
  {
    FileDefaultsStore store(file, writer);
    store.set("a", true);
    EXPECT_TRUE(store.flush());
  }
  EXPECT_EQ(FileDefaultsStore(file, writer).boolean("a"), true);
}

TEST(FileDefaultsStore, AFailedWriteKeepsValuesAndTheOldFileAndIsRetried) {
  TempDir dir;
  fs::path folder = dir.path() / "tavuno";
  SimMainQueue writer;
  FileDefaultsStore store(folder / "settings.json", writer);
  store.set("kept", std::string("old"));
  EXPECT_TRUE(store.flush());
  // The folder turns into a file: no temporary file can be made there.
  fs::rename(folder, dir.path() / "moved");
  { std::ofstream(folder) << "x"; }
  store.set("kept", std::string("new"));
  EXPECT_FALSE(store.flush());
  EXPECT_NE(store.lastWriteError(), "");
  EXPECT_NE(store.message(), "");
  EXPECT_TRUE(store.pending());
  EXPECT_EQ(store.string("kept"), "new");
  EXPECT_EQ(FileDefaultsStore(dir.path() / "moved" / "settings.json", writer).string("kept"),
            "old");

  fs::remove(folder);
  fs::rename(dir.path() / "moved", folder);
  store.set("other", true);
  writer.advance(1);
  EXPECT_EQ(store.lastWriteError(), "");
  EXPECT_EQ(FileDefaultsStore(folder / "settings.json", writer).string("kept"), "new");
}

TEST(FileDefaultsStore, AWriteThatCannotCreateItsFolderIsReported) {
  TempDir dir;
  fs::path blocker = dir.path() / "not-a-folder";
  { std::ofstream(blocker) << "x"; }
  SimMainQueue writer;
  FileDefaultsStore store(blocker / "settings.json", writer);
  store.set("a", true);
  EXPECT_FALSE(store.flush());
  EXPECT_NE(store.lastWriteError(), "");
  EXPECT_EQ(store.boolean("a"), true);
}

TEST(FileDefaultsStore, LocationFollowsXdgConfigHome) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  std::string savedValue = saved ? saved : "";
  ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-here", 1);
  EXPECT_EQ(FileDefaultsStore::defaultLocation(), fs::path("/tmp/xdg-here/tavuno/settings.json"));
  ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(FileDefaultsStore::defaultLocation(),
            fs::path("/home/someone/.config/tavuno/settings.json"));
  if (saved)
    ::setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(SettingsCodec, NonFiniteNumbersSurviveTheFile) {
  std::map<std::string, DefaultsValue> values{{"inf", std::numeric_limits<double>::infinity()},
                                              {"big", 1e300},
                                              {"nan", std::numeric_limits<double>::quiet_NaN()}};
  auto decoded = decodeSettings(encodeSettings(values));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(std::get<double>(decoded->at("inf")), std::numeric_limits<double>::infinity());
  EXPECT_EQ(std::get<double>(decoded->at("big")), 1e300);
  EXPECT_TRUE(std::isnan(std::get<double>(decoded->at("nan"))));
}

// An unsigned number past the signed 64-bit range used to read back as -1.
TEST(SettingsCodec, AnIntegerPastTheSignedRangeIsUnreadableNeverNegative) {
  auto document = decodeSettingsDocument(R"({"version": 1, "values": {
      "big": {"integer": 18446744073709551615}, "justPast": {"integer": 9223372036854775808},
      "max": {"integer": 9223372036854775807}, "min": {"integer": -9223372036854775808},
      "asDouble": {"double": 18446744073709551615}}})");
  ASSERT_TRUE(document);
  EXPECT_FALSE(document->values.contains("big"));
  EXPECT_FALSE(document->values.contains("justPast"));
  EXPECT_TRUE(document->unreadable.contains("big"));
  EXPECT_TRUE(document->unreadable.contains("justPast"));
  EXPECT_EQ(document->values.at("max"), DefaultsValue(std::numeric_limits<std::int64_t>::max()));
  EXPECT_EQ(document->values.at("min"), DefaultsValue(std::numeric_limits<std::int64_t>::min()));
  EXPECT_EQ(document->values.at("asDouble"), DefaultsValue(18446744073709551615.0));
  // Kept as it was written.
  auto again = decodeSettingsDocument(encodeSettings(*document));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->unreadable.at("big"), R"({"integer":18446744073709551615})");
}

TEST(SettingsCodec, Base64RoundTripsEveryLengthAndRejectsDamage) {
  Bytes bytes;
  for (int n = 0; n < 10; ++n) {
    EXPECT_EQ(decodeBase64(encodeBase64(bytes)), bytes) << n;
    bytes.push_back(static_cast<std::uint8_t>(n * 37 + 200));
  }
  for (const char* bad : {"A", "AB=C", "A===", "=AAA", "AAAA=AAA", "AA*A"})
    EXPECT_FALSE(decodeBase64(bad)) << bad;
}

}  // namespace
}  // namespace tavuno
