#include <gtest/gtest.h>

#include <limits>

#include "engine/sessions/SessionFailure.h"
#include "engine/taps/FormatPolicies.h"
#include "engine/taps/StreamFormat.h"
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
Format flags(Format f, std::uint32_t value) {
  f.mFormatFlags = value;
  return f;
}

TEST(StandardFormatPolicy, AcceptsOnlyStereoFloatIntoMonoOrStereoFloatAtOneRate) {
  Format padded = stereo(48000), wideMono = mono(48000), integer = stereo(48000);
  padded.mBytesPerFrame = 16;
  wideMono.mBytesPerFrame = wideMono.mBytesPerPacket = 8;
  integer.mBitsPerChannel = 16;
  const struct {
    const char* name;
    Format input, output;
    bool supported;
  } rows[] = {
      {"stereo to stereo", stereo(48000), stereo(48000), true},
      {"stereo to mono", stereo(48000), mono(48000), true},
      {"rates a few thousandths apart", stereo(48000.003), mono(48000), true},
      {"rates 0.01 Hz apart", stereo(48000.01), stereo(48000), false},
      {"44.1 kHz into 48 kHz", stereo(44100), stereo(48000), false},
      {"mono input", mono(48000), stereo(48000), false},
      {"six-channel output", stereo(48000), floatFormat(48000, 6), false},
      {"big-endian input", flags(stereo(48000), 0xB), stereo(48000), false},
      {"non-interleaved output", stereo(48000), flags(stereo(48000), 0x29), false},
      {"unrelated flag bits", flags(stereo(48000), 0x9 | 0x4 | 0x10), stereo(48000), true},
      {"integer samples", flags(stereo(48000), 0xC), stereo(48000), false},
      {"16-bit output", stereo(48000), integer, false},
      {"padded input frames", padded, stereo(48000), false},
      {"mono output with stereo frame size", stereo(48000), wideMono, false},
      {"zero rates", stereo(0), stereo(0), false},
      {"infinite rates", stereo(inf), stereo(inf), false},
      {"NaN rate", stereo(nan), stereo(48000), false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(StandardFormatPolicy::supports(row.input, row.output), row.supported) << row.name;
}

TEST(DuplexFormatPolicy, SupportsStereoFloatAtTheOutputRateAndTakesTheCaptureRate) {
  EXPECT_TRUE(DuplexFormatPolicy::supports(stereo(48000.009), 48000));
  EXPECT_FALSE(DuplexFormatPolicy::supports(stereo(44100), 48000));
  EXPECT_FALSE(DuplexFormatPolicy::supports(mono(48000), 48000));
  EXPECT_FALSE(DuplexFormatPolicy::supports(flags(stereo(48000), 0x29), 48000));
  EXPECT_FALSE(DuplexFormatPolicy::supports(stereo(0), 0));
  EXPECT_FALSE(DuplexFormatPolicy::supports(stereo(nan), 48000));

  // The output rate is only validated: the unit converts from the capture rate.
  EXPECT_EQ(DuplexFormatPolicy::clientRate(stereo(48000), stereo(44100), 48000), 44100);
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(stereo(48000), stereo(48000), 0));
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(stereo(48000), stereo(48000), nan));
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(mono(48000), stereo(48000), 48000));
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(stereo(0), stereo(48000), 48000));
  EXPECT_FALSE(DuplexFormatPolicy::clientRate(stereo(48000), stereo(inf), 48000));
}

TEST(FormatDescription, NamesTheRecordAndItsNineFieldsInOrder) {
  EXPECT_EQ(formatDescription(stereo(48000)),
            "AudioStreamBasicDescription(mSampleRate: 48000.0, mFormatID: 1819304813, "
            "mFormatFlags: 9, mBytesPerPacket: 8, mFramesPerPacket: 1, mBytesPerFrame: 8, "
            "mChannelsPerFrame: 2, mBitsPerChannel: 32, mReserved: 0)");
  Format odd = flags(mono(44100.5), 0xFFFFFFFF);
  odd.mReserved = 7;
  EXPECT_EQ(formatDescription(odd),
            "AudioStreamBasicDescription(mSampleRate: 44100.5, mFormatID: 1819304813, "
            "mFormatFlags: 4294967295, mBytesPerPacket: 4, mFramesPerPacket: 1, mBytesPerFrame: "
            "4, mChannelsPerFrame: 1, mBitsPerChannel: 32, mReserved: 7)");
  const std::pair<double, const char*> rates[] = {
      {0, "0.0"}, {48000.003, "48000.003"}, {1e20, "1e+20"}, {inf, "inf"}, {nan, "nan"}};
  for (const auto& [rate, text] : rates) {
    EXPECT_EQ(formatDescription(stereo(rate)).find(std::string("(mSampleRate: ") + text + ","), 27u)
        << text;
  }
}

TEST(SessionFailure, DescribesPlatformFailuresWithTheTranslatedOperation) {
  const auto failure = tapFailure("Criar captura", -50);
  EXPECT_EQ(failure.errorDescription(), "Criar captura: Core Audio -50");
  EXPECT_EQ(SessionFailure::unsupported("Qualquer texto.").errorDescription(), "Qualquer texto.");
  // The operation is a key looked up when described; a message is translated when made.
  test::ScopedLanguage english(test::englishCatalog());
  EXPECT_EQ(failure.errorDescription(), "Create tap: Core Audio -50");
  EXPECT_EQ(SessionFailure::unsupported("Qualquer texto.").errorDescription(), "Qualquer texto.");
}

}  // namespace
}  // namespace tavuno
