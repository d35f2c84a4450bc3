#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/sessions/DuplexFormatPolicy.h"
#include "engine/sessions/SessionFailure.h"
#include "engine/sessions/StandardFormatPolicy.h"
#include "engine/sessions/StreamFormat.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

using Format = AudioStreamBasicDescription;
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

Format stereo(double rate) {
  return floatFormat(rate, 2);
}
Format mono(double rate) {
  return floatFormat(rate, 1);
}
template <class Change>
Format with(Format f, Change change) {
  change(f);
  return f;
}

struct StandardRow {
  const char* name;
  Format input;
  Format output;
  bool supported;
};

TEST(StandardFormatPolicy, AcceptsOnlyStereoFloatIntoMonoOrStereoFloatAtOneRate) {
  const StandardRow rows[] = {
      {"stereo to stereo", stereo(48000), stereo(48000), true},
      {"stereo to mono", stereo(48000), mono(48000), true},
      {"rates a few thousandths apart", stereo(48000.003), mono(48000), true},
      {"rates 0.01 Hz apart", stereo(48000.01), stereo(48000), false},
      {"44.1 kHz into 48 kHz", stereo(44100), stereo(48000), false},
      {"mono input", mono(48000), stereo(48000), false},
      {"six-channel output", stereo(48000), floatFormat(48000, 6), false},
      {"big-endian input", with(stereo(48000), [](Format& f) { f.mFormatFlags |= 2; }),
       stereo(48000), false},
      {"non-interleaved output", stereo(48000),
       with(stereo(48000), [](Format& f) { f.mFormatFlags |= 0x20; }), false},
      {"unrelated flag bits are ignored",
       with(stereo(48000), [](Format& f) { f.mFormatFlags |= 0x4 | 0x10; }), stereo(48000), true},
      {"integer samples", with(stereo(48000), [](Format& f) { f.mFormatFlags = 0xC; }),
       stereo(48000), false},
      {"not linear PCM", with(stereo(48000), [](Format& f) { f.mFormatID = fourCC("aac "); }),
       stereo(48000), false},
      {"16-bit output", stereo(48000),
       with(stereo(48000), [](Format& f) { f.mBitsPerChannel = 16; }), false},
      {"padded input frames", with(stereo(48000), [](Format& f) { f.mBytesPerFrame = 16; }),
       stereo(48000), false},
      {"mono output with stereo frame size", stereo(48000),
       with(mono(48000), [](Format& f) { f.mBytesPerFrame = f.mBytesPerPacket = 8; }), false},
      {"two frames per output packet", stereo(48000),
       with(stereo(48000), [](Format& f) { f.mFramesPerPacket = 2; }), false},
      {"zero rates", stereo(0), stereo(0), false},
      {"infinite rates", stereo(inf), stereo(inf), false},
      {"NaN rate", stereo(nan), stereo(48000), false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(StandardFormatPolicy::supports(row.input, row.output), row.supported) << row.name;
}

struct DuplexRow {
  const char* name;
  Format format;
  double outputRate;
  bool supported;
};

TEST(DuplexFormatPolicy, SupportsStereoFloatAtTheOutputRate) {
  const DuplexRow rows[] = {
      {"same rate", stereo(48000), 48000, true},
      {"within 0.01 Hz", stereo(48000.009), 48000, true},
      {"other rate", stereo(44100), 48000, false},
      {"mono", mono(48000), 48000, false},
      {"non-interleaved", with(stereo(48000), [](Format& f) { f.mFormatFlags |= 0x20; }), 48000,
       false},
      {"zero output rate", stereo(0), 0, false},
      {"infinite output rate", stereo(inf), inf, false},
      {"NaN format rate", stereo(nan), 48000, false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(DuplexFormatPolicy::supports(row.format, row.outputRate), row.supported) << row.name;
}

TEST(DuplexFormatPolicy, ClientRateIsTheCaptureRateOnlyValidatingTheOthers) {
  EXPECT_EQ(DuplexFormatPolicy::clientRate(stereo(48000), stereo(44100), 48000), 44100);
  EXPECT_EQ(DuplexFormatPolicy::clientRate(stereo(48000), stereo(96000), 44100), 96000);
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(stereo(48000), stereo(48000), 0));
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(stereo(48000), stereo(48000), nan));
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(mono(48000), stereo(48000), 48000));
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(stereo(0), stereo(48000), 48000));
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(stereo(48000), stereo(inf), 48000));
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(stereo(48000), mono(48000), 48000));
}

TEST(FormatDescription, NamesTheRecordAndItsNineFieldsInOrder) {
  EXPECT_EQ(formatDescription(stereo(48000)),
            "AudioStreamBasicDescription(mSampleRate: 48000.0, mFormatID: 1819304813, "
            "mFormatFlags: 9, mBytesPerPacket: 8, mFramesPerPacket: 1, mBytesPerFrame: 8, "
            "mChannelsPerFrame: 2, mBitsPerChannel: 32, mReserved: 0)");
  Format odd = mono(44100.5);
  odd.mFormatFlags = 0xFFFFFFFF;  // unsigned, never negative
  odd.mReserved = 7;
  EXPECT_EQ(formatDescription(odd),
            "AudioStreamBasicDescription(mSampleRate: 44100.5, mFormatID: 1819304813, "
            "mFormatFlags: 4294967295, mBytesPerPacket: 4, mFramesPerPacket: 1, mBytesPerFrame: "
            "4, mChannelsPerFrame: 1, mBitsPerChannel: 32, mReserved: 7)");
}

TEST(FormatDescription, RateKeepsAFractionalPartAndRoundTrips) {
  const std::pair<double, const char*> rows[] = {
      {0, "0.0"},   {48000.003, "48000.003"}, {0.1, "0.1"}, {1e20, "1e+20"}, {inf, "inf"},
      {nan, "nan"},
  };
  for (const auto& [rate, text] : rows) {
    const std::string description = formatDescription(stereo(rate));
    EXPECT_NE(description.find(std::string("(mSampleRate: ") + text + ","), std::string::npos)
        << description;
  }
}

TEST(SessionFailure, DescribesPlatformFailuresWithTheTranslatedOperation) {
  const auto failure = SessionFailure::coreAudio("Criar captura", -50);
  EXPECT_EQ(failure.errorDescription(), "Criar captura: Core Audio -50");
  EXPECT_EQ(SessionFailure::coreAudio("Iniciar reprodução", 1852797029).errorDescription(),
            "Iniciar reprodução: Core Audio 1852797029");
  EXPECT_EQ(SessionFailure::unsupported("Qualquer texto.").errorDescription(), "Qualquer texto.");

  test::ScopedLanguage english(test::englishCatalog());
  // The operation is a key looked up when described; the message was translated when made.
  EXPECT_EQ(failure.errorDescription(), "Create tap: Core Audio -50");
  EXPECT_EQ(SessionFailure::unsupported("Qualquer texto.").errorDescription(), "Qualquer texto.");
}

}  // namespace
}  // namespace tavuno
