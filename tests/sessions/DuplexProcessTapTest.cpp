#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "engine/sessions/RetainedAfterFailedCleanup.h"
#include "engine/taps/DuplexProcessTap.h"
#include "tests/sessions/SessionFixture.h"

namespace tavuno::test {
namespace {

const char* const unavailable = "Processo ou saída indisponível.";
const char* const formatOrRate = "Formato ou taxa de áudio não suportados para esta saída.";
const char* const cannotPrepare = "Não foi possível preparar a reprodução.";

class DuplexTest : public SessionFixture {
 protected:
  double clock = 100;
  SessionPorts manualClock{sim, queues, [this] { return clock; }};
  AudioDevice loopback = addLoopback("loopback");

  std::unique_ptr<DuplexProcessTap> make(std::uint32_t prefill = 2048,
                                         std::optional<double> captureRate = std::nullopt) {
    return std::make_unique<DuplexProcessTap>(manualClock, nullptr, captureRate, prefill);
  }

  std::optional<std::uint32_t> enableIO(std::uint32_t scope, std::uint32_t element) const {
    const auto& properties = sim.units().at(lastUnit()).properties;
    auto it = properties.find({unitProperty::enableIO, scope, element});
    if (it == properties.end() || it->second.size() != 4) return std::nullopt;
    std::uint32_t value;
    std::memcpy(&value, it->second.data(), 4);
    return value;
  }
};

TEST_F(DuplexTest, StartCapturesThroughALoneTapAndPlaysThroughTheOutputUnit) {
  auto session = make();
  ASSERT_EQ(session->start(processes, loopback), std::nullopt);
  EXPECT_TRUE(session->running());
  EXPECT_EQ(session->clientSampleRate(), 48000);
  ASSERT_EQ(sim.taps().size(), 1u);
  const auto& tap = sim.taps().begin()->second;
  EXPECT_EQ(tap.description, expectedTap());

  const auto& description = onlyAggregate().description;
  const auto& uid = std::get<std::string>(description.at("uid"));
  EXPECT_TRUE(isAggregateUID(uid, "com.tavuno.aggregate.duplex.")) << uid;
  // No master and no sub-device: the output's own input stays out of the capture.
  const DeviceDescription expected{{"name", std::string("Tavuno Audio")},
                                   {"uid", uid},
                                   {"private", true},
                                   {"tapautostart", true},
                                   {"taps", std::vector<PlainDictionary>{{{"uid", tap.uid}}}}};
  EXPECT_EQ(description, expected);

  EXPECT_EQ(enableIO(unitScope::input, 1), 0u);
  EXPECT_EQ(enableIO(unitScope::output, 0), 1u);
  EXPECT_EQ(sim.unitDevice(lastUnit()), loopback.id);
  EXPECT_EQ(sim.unitStreamFormat(lastUnit()), floatFormat(48000, 2));
  EXPECT_TRUE(isQueue(sim.ioProcs().at(lastProc()).queue, "com.tavuno.duplex.capture"));
  // Playback starts before capture, so it already plays silence when the first frames arrive.
  const auto sequence = callSequence();
  EXPECT_EQ(sequence.back(), Call::deviceStart);
  EXPECT_EQ(sequence[sequence.size() - 2], Call::startOutputUnit);
}

struct FailureRow {
  const char* name;
  std::optional<Fault> fault;
  const char* text;
  OSStatus status = 0;  // 0: an unsupported case
  std::optional<double> captureRate;
  SimTapPlatform::UnitBehaviour unit;
  double deviceRate = 48000;
  std::uint32_t tapChannels = 2;
};

TEST_F(DuplexTest, EachStepFailsInItsOwnWordsAndLeavesNothingBehind) {
  const auto unitSet = [](std::uint32_t property, std::optional<std::uint32_t> scope = {}) {
    return fails(Call::setUnitProperty, property, scope);
  };
  const FailureRow rows[] = {
      {"tap creation", fails(Call::createProcessTap), "Criar captura", kFailure},
      {"device rate read", fails(Call::getPropertyData, tapSelector::nominalSampleRate),
       "Ler propriedade de áudio", kFailure},
      {.name = "device rate of 0", .text = formatOrRate, .deviceRate = 0},
      {.name = "mono tap", .text = formatOrRate, .tapChannels = 1},
      {"aggregate creation", fails(Call::createAggregateDevice), "Criar dispositivo de áudio",
       kFailure},
      {.name = "capture rate of 0", .text = formatOrRate, .captureRate = 0.0},
      {.name = "capture rate refused",
       .fault = fails(Call::setPropertyData),
       .text = "Preparar reprodução",
       .status = kFailure,
       .captureRate = 96000.0},
      {"input stream query", fails(Call::getPropertyDataSize), "Consultar fluxos de entrada",
       kFailure},
      {"two input streams", Fault{.call = Call::getPropertyDataSize, .status = 0, .size = 8},
       "Quantidade de fluxos de entrada não suportada."},
      {"input stream read", fails(Call::getPropertyData, tapSelector::streams),
       "Ler fluxos de entrada", kFailure},
      {"capture format read", fails(Call::getPropertyData, tapSelector::virtualFormat),
       "Ler propriedade de áudio", kFailure},
      {"no output unit", noResult(Call::findNextComponent), cannotPrepare},
      {"unit instance", fails(Call::newComponentInstance), "Preparar reprodução", kFailure},
      {"no unit instance", noResult(Call::newComponentInstance), cannotPrepare},
      {"input side off", unitSet(unitProperty::enableIO, unitScope::input), "Preparar reprodução",
       kFailure},
      {"client format", unitSet(unitProperty::streamFormat), "Preparar reprodução", kFailure},
      {"client format read back", fails(Call::getUnitProperty, unitProperty::streamFormat),
       "Ler propriedade de áudio", kFailure},
      {.name = "client format changed by the unit",
       .text = formatOrRate,
       .unit = {.acceptedFormat = floatFormat(44100, 2)}},
      {"render callback", fails(Call::setRenderCallback), "Preparar reprodução", kFailure},
      {"unit initialisation", fails(Call::initializeUnit), "Preparar reprodução", kFailure},
      {"input side read", fails(Call::getUnitProperty, unitProperty::enableIO),
       "Ler propriedade de áudio", kFailure},
      {.name = "input side stays on",
       .text = "Não foi possível desativar a entrada desta saída.",
       .unit = {.inputStaysEnabled = true}},
      {"capture callback", fails(Call::createIOProcID), "Preparar reprodução", kFailure},
      {"capture callback without an id", noResult(Call::createIOProcID), cannotPrepare},
      {"unit start", fails(Call::startOutputUnit), "Iniciar reprodução", kFailure},
      {"capture start", fails(Call::deviceStart), "Iniciar reprodução", kFailure},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sim.clearFaults();
    if (row.fault) sim.injectFault(*row.fault);
    sim.setUnitBehaviour(row.unit);
    sim.setTapFormat(floatFormat(48000, row.tapChannels));
    sim.device(loopback.id).nominalRate = row.deviceRate;
    auto session = make(2048, row.captureRate);
    const auto failure = session->start(processes, loopback);
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, row.status != 0 ? tapFailure(row.text, row.status)
                                        : SessionFailure::unsupported(row.text));
    EXPECT_FALSE(session->running() || session->cleanupFailed());
    EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 5));
    EXPECT_EQ(sim.liveObjectCount(), 0u);
    // Single use: a failed attempt counts too.
    sim.clearFaults();
    EXPECT_EQ(session->start(processes, loopback), SessionFailure::unsupported(unavailable));
  }
}

TEST_F(DuplexTest, IsSingleUseAndStopUndoesWhatWasDoneInReverse) {
  AudioDevice notOutput = loopback;
  notOutput.output = false;
  EXPECT_EQ(make()->start({}, loopback), SessionFailure::unsupported(unavailable));
  EXPECT_EQ(make()->start(processes, notOutput), SessionFailure::unsupported(unavailable));
  make()->stop();
  EXPECT_TRUE(sim.calls().empty());

  auto session = make();
  ASSERT_EQ(session->start(processes, loopback), std::nullopt);
  sim.clearCalls();
  session->stop();
  EXPECT_EQ(callSequence(),
            (std::vector<Call>{Call::deviceStop, Call::destroyIOProcID, Call::stopOutputUnit,
                               Call::uninitializeUnit, Call::disposeComponentInstance,
                               Call::destroyAggregateDevice, Call::destroyProcessTap}));
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 10));
  sim.clearCalls();
  session->stop();
  EXPECT_EQ(session->start(processes, loopback), SessionFailure::unsupported(unavailable));
  EXPECT_TRUE(sim.calls().empty());
}

TEST_F(DuplexTest, CaptureAndDeviceRatesMayDifferTheUnitConverts) {
  sim.setTapFormat(floatFormat(44100, 2));
  auto session = make();
  ASSERT_EQ(session->start(processes, loopback), std::nullopt);
  EXPECT_EQ(sim.unitStreamFormat(lastUnit()), floatFormat(44100, 2));

  // An experimental capture rate moves the aggregate, and the client format follows it.
  auto forced = make(2048, 96000.0);
  ASSERT_EQ(forced->start(processes, addLoopback("forced")), std::nullopt);
  EXPECT_EQ(sim.aggregates().rbegin()->second.nominalRate, 96000);
  EXPECT_EQ(forced->clientSampleRate(), 96000);
  EXPECT_EQ(sim.unitStreamFormat(lastUnit()), floatFormat(96000, 2));

  EXPECT_EQ(make(20000)->prefillFrames(), 16384u);
}

TEST_F(DuplexTest, AFailedDisposalKeepsTheCallbackStateAliveForAnyLateRender) {
  sim.injectFault(fails(Call::stopOutputUnit));
  sim.injectFault(fails(Call::disposeComponentInstance));
  const std::size_t retained = RetainedAfterFailedCleanup::count();
  auto session = make(0);
  ASSERT_EQ(session->start(processes, loopback), std::nullopt);
  const AudioUnitRef unit = lastUnit();
  session->stop();
  EXPECT_TRUE(session->cleanupFailed());
  EXPECT_EQ(sim.liveObjectCount(), 1u);  // only the unit
  session.reset();
  EXPECT_EQ(RetainedAfterFailedCleanup::count(), retained + 3);  // context, ring, kernel
  // The unit still renders through them (AddressSanitizer checks).
  BufferList out({{2, 32}}, 9.0f);
  ASSERT_EQ(sim.render(unit, 32, out.get()), status::noError);
  EXPECT_EQ(out.samples(), std::vector<float>(64, 0.0f));
}

class DuplexStreamTest : public DuplexTest {
 protected:
  void begin(std::uint32_t prefill) {
    session = make(prefill);
    ASSERT_EQ(session->start(processes, loopback), std::nullopt);
  }
  // Frames of (level, -level).
  static std::vector<float> frames(std::uint32_t n, float level) {
    std::vector<float> samples;
    for (std::uint32_t i = 0; i < n; ++i)
      samples.insert(samples.end(), {level, -level});
    return samples;
  }
  void capture(std::uint32_t n, float level = 0.5f) {
    BufferList in({{2, n}});
    const auto samples = frames(n, level);
    std::copy(samples.begin(), samples.end(), in.samples().begin());
    ASSERT_EQ(sim.runIOProc(lastProc(), in.get(), nullptr), status::noError);
  }
  std::vector<float> render(std::uint32_t n) {
    BufferList out({{2, n}}, 9.0f);
    EXPECT_EQ(sim.render(lastUnit(), n, out.get()), status::noError);
    return out.samples();
  }

  std::unique_ptr<DuplexProcessTap> session;
};

TEST_F(DuplexStreamTest, PlaysSilenceUntilThePrefillIsBufferedAndNeverPrefillsAgain) {
  begin(2048);
  session->setGain(0.5f, false);
  capture(2047);
  EXPECT_EQ(render(512), frames(512, 0.0f));
  EXPECT_EQ(session->diagnostics().callbacks, 0u);  // prefilling is not processing
  capture(1);
  EXPECT_EQ(render(512), frames(512, 0.25f));
  EXPECT_EQ(session->diagnostics(), (SessionDiagnostics{1, 0.5f, 0.25f}));

  // The ring runs dry: what it holds, then silence, and no wait for another prefill.
  EXPECT_EQ(render(1536), frames(1536, 0.25f));
  capture(100);
  auto out = render(512);
  EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + 200), frames(100, 0.25f));
  EXPECT_EQ(std::vector<float>(out.begin() + 200, out.end()), frames(412, 0.0f));
  EXPECT_EQ(session->diagnostics().callbacks, 3u);
}

TEST_F(DuplexStreamTest, OtherLayoutsAreIgnoredByCaptureAndSilencedAsMismatchesByRender) {
  begin(0);
  BufferList mono({{1, 64}}, 0.5f), two({{2, 64}, {2, 64}}, 0.5f);
  for (BufferList* in : {&mono, &two})
    ASSERT_EQ(sim.runIOProc(lastProc(), in->get(), nullptr), status::noError);
  capture(64);
  const std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> layouts = {
      {{2, 64}, {2, 64}}, {{1, 64}}, {{2, 63}}};  // two buffers, mono, too small
  for (const auto& layout : layouts) {
    BufferList out(layout, 9.0f);
    ASSERT_EQ(sim.render(lastUnit(), 64, out.get()), status::noError);
    for (std::size_t k = 0; k < layout.size(); ++k)
      EXPECT_EQ(out.samples(k), std::vector<float>(out.samples(k).size(), 0.0f));
  }
  EXPECT_EQ(session->diagnostics().callbacks, 0u);
  EXPECT_TRUE(session->shouldStopForBufferHealth(clock));  // at once, first second or not
  EXPECT_EQ(render(64), frames(64, 0.5f));  // only the stereo capture reached the ring
}

TEST_F(DuplexStreamTest, RingLossesCountFromTheLastReadingOfTheFirstSecond) {
  begin(0);
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 0.1));
  render(5000);  // forgiven: the first second
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 0.9));
  render(1024);
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 1.0));
  render(1);
  EXPECT_TRUE(session->shouldStopForBufferHealth(clock + 1.5));

  // Dropped capture frames count alike; without a reading in the first second, the first one
  // after it is the baseline.
  auto late = make(0);
  ASSERT_EQ(late->start(processes, addLoopback("late")), std::nullopt);
  BufferList in({{2, DuplexProcessTap::ringFrames + 2000}});
  ASSERT_EQ(sim.runIOProc(lastProc(), in.get(), nullptr), status::noError);
  EXPECT_FALSE(late->shouldStopForBufferHealth(clock + 3));
  BufferList more({{2, 1025}});
  ASSERT_EQ(sim.runIOProc(lastProc(), more.get(), nullptr), status::noError);
  EXPECT_TRUE(late->shouldStopForBufferHealth(clock + 4));
}

}  // namespace
}  // namespace tavuno::test
