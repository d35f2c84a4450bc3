#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

#include "core/ports/Uuid.h"
#include "engine/sessions/DuplexProcessTap.h"
#include "engine/sessions/RetainedAfterFailedCleanup.h"
#include "tests/sessions/SessionFixture.h"

namespace tavuno::test {
namespace {

using Fault = SimTapPlatform::Fault;
using Kind = SessionFailure::Kind;

const OSStatus kFailure = -50;
const char* const formatOrRate = "Formato ou taxa de áudio não suportados para esta saída.";
const char* const cannotPrepare = "Não foi possível preparar a reprodução.";

Fault fails(Call call, std::optional<std::uint32_t> selector = {},
            std::optional<std::uint32_t> scope = {}) {
  return {.call = call, .selector = selector, .scope = scope, .status = kFailure};
}
Fault noResult(Call call) {
  return {.call = call, .status = status::noError, .noResult = true};
}

template <class T>
std::optional<T> unitValue(const SimTapPlatform& sim, AudioUnitRef unit, std::uint32_t property,
                           std::uint32_t scope, std::uint32_t element) {
  const auto& properties = sim.units().at(unit).properties;
  auto it = properties.find({property, scope, element});
  if (it == properties.end() || it->second.size() != sizeof(T)) return std::nullopt;
  T value;
  std::memcpy(&value, it->second.data(), sizeof value);
  return value;
}

class DuplexTest : public SessionFixture {
 protected:
  double clock = 100;
  SessionPorts manualClock{sim, queues, [this] { return clock; }};
  AudioDevice loopback = addLoopback("loopback");

  std::unique_ptr<DuplexProcessTap> make(std::uint32_t prefill = 2048,
                                         std::optional<double> captureRate = std::nullopt,
                                         CleanupFilter filter = nullptr) {
    return std::make_unique<DuplexProcessTap>(manualClock, std::move(filter), captureRate, prefill);
  }
};

TEST_F(DuplexTest, StartCapturesThroughALoneTapAndPlaysThroughTheOutputUnit) {
  auto session = make();
  session->setGain(0.5f, false);
  ASSERT_EQ(session->start(processes, loopback), std::nullopt);
  EXPECT_TRUE(session->running());
  EXPECT_EQ(session->clientSampleRate(), 48000);

  ASSERT_EQ(sim.taps().size(), 1u);
  const auto& tap = sim.taps().begin()->second;
  EXPECT_EQ(tap.description, (TapDescription{.processes = processes,
                                             .stereoMixdown = true,
                                             .name = "Tavuno Process Tap",
                                             .isPrivate = true,
                                             .muteBehavior = tapMute::mutedWhenTapped}));
  const auto& description = onlyAggregate().description;
  const auto& uid = std::get<std::string>(description.at("uid"));
  const std::string prefix = "com.tavuno.aggregate.duplex.";
  ASSERT_EQ(uid.substr(0, prefix.size()), prefix);
  const auto uuid = Uuid::parse(uid.substr(prefix.size()));
  ASSERT_TRUE(uuid);
  EXPECT_EQ(uuid->text(), uid.substr(prefix.size()));
  const DeviceDescription expected{{"name", std::string("Tavuno Audio")},
                                   {"uid", uid},
                                   {"private", true},
                                   {"tapautostart", true},
                                   {"taps", std::vector<PlainDictionary>{{{"uid", tap.uid}}}}};
  EXPECT_EQ(description, expected);  // no master, no sub-device: the device's input stays out

  const AudioUnitRef unit = lastUnit();
  EXPECT_EQ(unitValue<std::uint32_t>(sim, unit, unitProperty::enableIO, unitScope::input, 1), 0u);
  EXPECT_EQ(unitValue<std::uint32_t>(sim, unit, unitProperty::enableIO, unitScope::output, 0), 1u);
  EXPECT_EQ(sim.unitDevice(unit), loopback.id);
  EXPECT_EQ(sim.unitStreamFormat(unit), floatFormat(48000, 2));
  const auto& unitRecord = sim.units().at(unit);
  EXPECT_TRUE(unitRecord.initialized && unitRecord.started);
  EXPECT_NE(unitRecord.render.proc, nullptr);

  const auto& proc = sim.ioProcs().at(lastProc());
  EXPECT_TRUE(proc.running);
  auto queue = std::dynamic_pointer_cast<ManualSerialQueue>(proc.queue);
  ASSERT_TRUE(queue);
  EXPECT_EQ(queue->label(), "com.tavuno.duplex.capture");
  EXPECT_EQ(queue->priority(), QueuePriority::userInteractive);

  // Playback starts before capture.
  const auto sequence = callSequence();
  const auto at = [&](Call call) { return std::find(sequence.begin(), sequence.end(), call); };
  EXPECT_LT(at(Call::startOutputUnit), at(Call::deviceStart));
  EXPECT_EQ(sequence.back(), Call::deviceStart);
}

struct DuplexFailureRow {
  const char* name;
  std::function<void(SimTapPlatform&, const AudioDevice&)> setup;
  Kind kind;
  const char* text;
  OSStatus status = 0;
  std::optional<double> captureRate = std::nullopt;
};

TEST_F(DuplexTest, EachStepFailsInItsOwnWordsAndLeavesNothingBehind) {
  using S = SimTapPlatform;
  using D = const AudioDevice&;
  const double inf = std::numeric_limits<double>::infinity();
  const DuplexFailureRow rows[] = {
      {"tap creation", [](S& s, D) { s.injectFault(fails(Call::createProcessTap)); },
       Kind::coreAudio, "Criar captura", kFailure},
      {"tap UID missing", [](S& s, D) { s.injectFault(noResult(Call::getStringProperty)); },
       Kind::unsupported, "O sistema não forneceu o identificador da captura."},
      {"tap format read",
       [](S& s, D) { s.injectFault(fails(Call::getPropertyData, tapSelector::tapFormat)); },
       Kind::coreAudio, "Ler propriedade de áudio", kFailure},
      {"device rate read",
       [](S& s, D) { s.injectFault(fails(Call::getPropertyData, tapSelector::nominalSampleRate)); },
       Kind::coreAudio, "Ler propriedade de áudio", kFailure},
      {"device rate of 0", [](S& s, D d) { s.device(d.id).nominalRate = 0; }, Kind::unsupported,
       formatOrRate},
      {"mono tap", [](S& s, D) { s.setTapFormat(floatFormat(48000, 1)); }, Kind::unsupported,
       formatOrRate},
      {"aggregate creation", [](S& s, D) { s.injectFault(fails(Call::createAggregateDevice)); },
       Kind::coreAudio, "Criar dispositivo de áudio", kFailure},
      {"capture rate of 0", [](S&, D) {}, Kind::unsupported, formatOrRate, 0, 0.0},
      {"infinite capture rate", [](S&, D) {}, Kind::unsupported, formatOrRate, 0, inf},
      {"capture rate refused",
       [](S& s, D) { s.injectFault(fails(Call::setPropertyData, tapSelector::nominalSampleRate)); },
       Kind::coreAudio, "Preparar reprodução", kFailure, 96000.0},
      {"input stream query",
       [](S& s, D) { s.injectFault(fails(Call::getPropertyDataSize, tapSelector::streams)); },
       Kind::coreAudio, "Consultar fluxos de entrada", kFailure},
      {"two input streams",
       [](S& s, D) { s.injectFault({.call = Call::getPropertyDataSize, .status = 0, .size = 8}); },
       Kind::unsupported, "Quantidade de fluxos de entrada não suportada."},
      {"input stream read",
       [](S& s, D) { s.injectFault(fails(Call::getPropertyData, tapSelector::streams)); },
       Kind::coreAudio, "Ler fluxos de entrada", kFailure},
      {"capture format read",
       [](S& s, D) { s.injectFault(fails(Call::getPropertyData, tapSelector::virtualFormat)); },
       Kind::coreAudio, "Ler propriedade de áudio", kFailure},
      {"no output unit", [](S& s, D) { s.injectFault(noResult(Call::findNextComponent)); },
       Kind::unsupported, cannotPrepare},
      {"component search", [](S& s, D) { s.injectFault(fails(Call::findNextComponent)); },
       Kind::unsupported, cannotPrepare},
      {"unit instance", [](S& s, D) { s.injectFault(fails(Call::newComponentInstance)); },
       Kind::coreAudio, "Preparar reprodução", kFailure},
      {"no unit instance", [](S& s, D) { s.injectFault(noResult(Call::newComponentInstance)); },
       Kind::unsupported, cannotPrepare},
      {"input side off",
       [](S& s, D) {
         s.injectFault(fails(Call::setUnitProperty, unitProperty::enableIO, unitScope::input));
       },
       Kind::coreAudio, "Preparar reprodução", kFailure},
      {"output side on",
       [](S& s, D) {
         s.injectFault(fails(Call::setUnitProperty, unitProperty::enableIO, unitScope::output));
       },
       Kind::coreAudio, "Preparar reprodução", kFailure},
      {"current device",
       [](S& s, D) { s.injectFault(fails(Call::setUnitProperty, unitProperty::currentDevice)); },
       Kind::coreAudio, "Preparar reprodução", kFailure},
      {"client format",
       [](S& s, D) { s.injectFault(fails(Call::setUnitProperty, unitProperty::streamFormat)); },
       Kind::coreAudio, "Preparar reprodução", kFailure},
      {"client format read back",
       [](S& s, D) { s.injectFault(fails(Call::getUnitProperty, unitProperty::streamFormat)); },
       Kind::coreAudio, "Ler propriedade de áudio", kFailure},
      {"client format changed by the unit",
       [](S& s, D) { s.setUnitBehaviour({.acceptedFormat = floatFormat(44100, 2)}); },
       Kind::unsupported, formatOrRate},
      {"render callback", [](S& s, D) { s.injectFault(fails(Call::setRenderCallback)); },
       Kind::coreAudio, "Preparar reprodução", kFailure},
      {"unit initialisation", [](S& s, D) { s.injectFault(fails(Call::initializeUnit)); },
       Kind::coreAudio, "Preparar reprodução", kFailure},
      {"input side read",
       [](S& s, D) { s.injectFault(fails(Call::getUnitProperty, unitProperty::enableIO)); },
       Kind::coreAudio, "Ler propriedade de áudio", kFailure},
      {"input side stays on", [](S& s, D) { s.setUnitBehaviour({.inputStaysEnabled = true}); },
       Kind::unsupported, "Não foi possível desativar a entrada desta saída."},
      {"capture callback", [](S& s, D) { s.injectFault(fails(Call::createIOProcID)); },
       Kind::coreAudio, "Preparar reprodução", kFailure},
      {"capture callback without an id",
       [](S& s, D) { s.injectFault(noResult(Call::createIOProcID)); }, Kind::unsupported,
       cannotPrepare},
      {"unit start", [](S& s, D) { s.injectFault(fails(Call::startOutputUnit)); }, Kind::coreAudio,
       "Iniciar reprodução", kFailure},
      {"capture start", [](S& s, D) { s.injectFault(fails(Call::deviceStart)); }, Kind::coreAudio,
       "Iniciar reprodução", kFailure},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sim.clearFaults();
    sim.setTapFormat(floatFormat(48000, 2));
    sim.setUnitBehaviour({});
    const AudioDevice output = addLoopback(row.name);
    row.setup(sim, output);
    auto session = make(2048, row.captureRate);
    const auto failure = session->start(processes, output);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), row.kind);
    EXPECT_EQ(failure->text(), row.text);
    EXPECT_EQ(failure->status(), row.status);
    EXPECT_FALSE(session->running());
    EXPECT_FALSE(session->cleanupFailed());
    EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 5));
    EXPECT_EQ(sim.liveObjectCount(), 0u);
    // Single use: even a failed attempt counts.
    sim.clearFaults();
    EXPECT_EQ(session->start(processes, output),
              SessionFailure::unsupported("Processo ou saída indisponível."));
  }
}

TEST_F(DuplexTest, IsSingleUseAndRefusesUnusableRequestsWithoutPlatformCalls) {
  AudioDevice notOutput = loopback;
  notOutput.output = false;
  EXPECT_TRUE(make()->start({}, loopback));
  EXPECT_TRUE(make()->start(processes, notOutput));
  EXPECT_TRUE(sim.calls().empty());

  auto session = make();
  ASSERT_EQ(session->start(processes, loopback), std::nullopt);
  session->stop();
  sim.clearCalls();
  EXPECT_EQ(session->start(processes, loopback),
            SessionFailure::unsupported("Processo ou saída indisponível."));
  EXPECT_TRUE(sim.calls().empty());
}

TEST_F(DuplexTest, StopUndoesOnlyWhatWasDoneInReverse) {
  auto full = make();
  ASSERT_EQ(full->start(processes, loopback), std::nullopt);
  sim.clearCalls();
  full->stop();
  EXPECT_EQ(callSequence(),
            (std::vector<Call>{Call::deviceStop, Call::destroyIOProcID, Call::stopOutputUnit,
                               Call::uninitializeUnit, Call::disposeComponentInstance,
                               Call::destroyAggregateDevice, Call::destroyProcessTap}));
  EXPECT_FALSE(full->running());
  EXPECT_FALSE(full->shouldStopForBufferHealth(clock + 10));
  sim.clearCalls();
  full->stop();
  EXPECT_TRUE(sim.calls().empty());
  make()->stop();
  EXPECT_TRUE(sim.calls().empty());

  // Capture never started: its callback is removed but not stopped.
  sim.injectFault(fails(Call::deviceStart));
  auto partial = make();
  ASSERT_TRUE(partial->start(processes, addLoopback("partial")));
  const auto sequence = callSequence();
  const std::vector<Call> teardown(sequence.end() - 6, sequence.end());
  EXPECT_EQ(teardown, (std::vector<Call>{Call::destroyIOProcID, Call::stopOutputUnit,
                                         Call::uninitializeUnit, Call::disposeComponentInstance,
                                         Call::destroyAggregateDevice, Call::destroyProcessTap}));
}

TEST_F(DuplexTest, CaptureAndDeviceRatesMayDifferTheUnitConverts) {
  sim.setTapFormat(floatFormat(44100, 2));
  auto session = make();
  ASSERT_EQ(session->start(processes, loopback), std::nullopt);
  EXPECT_EQ(session->clientSampleRate(), 44100);
  EXPECT_EQ(sim.unitStreamFormat(lastUnit()), floatFormat(44100, 2));

  // An experimental capture rate moves the aggregate, and the client format follows it.
  auto forced = make(2048, 96000.0);
  ASSERT_EQ(forced->start(processes, addLoopback("forced")), std::nullopt);
  EXPECT_EQ(sim.aggregates().rbegin()->second.nominalRate, 96000);
  EXPECT_EQ(forced->clientSampleRate(), 96000);
  EXPECT_EQ(sim.unitStreamFormat(lastUnit()), floatFormat(96000, 2));
}

TEST_F(DuplexTest, PrefillIsCappedAtTheRingCapacity) {
  EXPECT_EQ(make(20000)->prefillFrames(), 16384u);
  EXPECT_EQ(make(16384)->prefillFrames(), 16384u);
  EXPECT_EQ(make(0)->prefillFrames(), 0u);
}

TEST_F(DuplexTest, InputEnabledNeedsAUnit) {
  auto session = make();
  bool enabled = true;
  EXPECT_EQ(session->inputEnabled(enabled),
            SessionFailure::unsupported("Processo ou saída indisponível."));
  ASSERT_EQ(session->start(processes, loopback), std::nullopt);
  EXPECT_EQ(session->inputEnabled(enabled), std::nullopt);
  EXPECT_FALSE(enabled);
}

class DuplexStreamTest : public DuplexTest {
 protected:
  void begin(std::uint32_t prefill) {
    session = make(prefill);
    ASSERT_EQ(session->start(processes, loopback), std::nullopt);
    proc = lastProc();
    unit = lastUnit();
  }
  // Captures `frames` frames whose left and right samples are `level` and -`level`.
  void capture(std::uint32_t frames, float level = 0.5f) {
    BufferList in({{2, frames}});
    for (std::uint32_t i = 0; i < frames; ++i) {
      in.samples()[2 * i] = level;
      in.samples()[2 * i + 1] = -level;
    }
    ASSERT_EQ(sim.runIOProc(proc, in.get(), nullptr), status::noError);
  }
  std::vector<float> render(std::uint32_t frames) {
    BufferList out({{2, frames}}, 9.0f);
    EXPECT_EQ(sim.render(unit, frames, out.get()), status::noError);
    return out.samples();
  }
  static std::vector<float> frames(std::uint32_t n, float level) {
    std::vector<float> samples;
    for (std::uint32_t i = 0; i < n; ++i)
      samples.insert(samples.end(), {level, -level});
    return samples;
  }

  std::unique_ptr<DuplexProcessTap> session;
  IOProcID proc{};
  AudioUnitRef unit{};
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

TEST_F(DuplexStreamTest, RenderListsOfAnotherLayoutAreSilencedAsMismatches) {
  begin(0);
  capture(64);
  const struct {
    const char* name;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> buffers;
  } rows[] = {
      {"two buffers", {{2, 64}, {2, 64}}},
      {"mono buffer", {{1, 64}}},
      {"buffer too small for the frames", {{2, 63}}},
  };
  for (const auto& row : rows) {
    BufferList out(row.buffers, 9.0f);
    ASSERT_EQ(sim.render(unit, 64, out.get()), status::noError);
    for (std::size_t k = 0; k < row.buffers.size(); ++k)
      EXPECT_EQ(out.samples(k), std::vector<float>(out.samples(k).size(), 0.0f)) << row.name;
  }
  ASSERT_EQ(sim.render(unit, 64, nullptr), status::noError);
  EXPECT_EQ(session->diagnostics().callbacks, 0u);
  // Mismatches count at once, first second or not.
  EXPECT_TRUE(session->shouldStopForBufferHealth(clock));
  // None of them took the captured frames.
  EXPECT_EQ(render(64), frames(64, 0.5f));
}

TEST_F(DuplexStreamTest, CaptureTakesOnlyOneStereoBuffer) {
  begin(0);
  BufferList mono({{1, 64}}, 0.5f), two({{2, 64}, {2, 64}}, 0.5f), noData({{2, 64}}, 0.5f);
  bufferAt(noData.list(), 0).mData = nullptr;
  for (BufferList* in : {&mono, &two, &noData})
    ASSERT_EQ(sim.runIOProc(proc, in->get(), nullptr), status::noError);
  ASSERT_EQ(sim.runIOProc(proc, nullptr, nullptr), status::noError);
  EXPECT_EQ(render(64), frames(64, 0.0f));
  EXPECT_EQ(session->diagnostics().inputPeak, 0.0f);
}

TEST_F(DuplexStreamTest, RingLossesCountOnlyAfterTheFirstSecond) {
  begin(0);
  render(5000);  // 5000 missing frames right after start
  clock += 0.5;
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock));
  clock += 0.6;
  render(1024);
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock));
  render(1);
  EXPECT_TRUE(session->shouldStopForBufferHealth(clock));
}

TEST_F(DuplexStreamTest, TheBaselineIsTheLastReadingOfTheFirstSecond) {
  begin(0);
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 0.1));
  render(3000);
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 0.9));
  render(1024);
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 1.5));

  // Without a reading in the first second, the first one after it is the baseline.
  auto late = make(0);
  ASSERT_EQ(late->start(processes, addLoopback("late")), std::nullopt);
  BufferList out({{2, 4000}});
  ASSERT_EQ(sim.render(lastUnit(), 4000, out.get()), status::noError);
  EXPECT_FALSE(late->shouldStopForBufferHealth(clock + 3));
  ASSERT_EQ(sim.render(lastUnit(), 1025, out.get()), status::noError);
  EXPECT_TRUE(late->shouldStopForBufferHealth(clock + 4));
}

TEST_F(DuplexStreamTest, DroppedCaptureFramesCountLikeMissingOnes) {
  begin(0);
  capture(DuplexProcessTap::ringFrames + 2000);  // 2000 dropped in the first second
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 0.5));
  capture(1024);
  EXPECT_FALSE(session->shouldStopForBufferHealth(clock + 1.0));
  capture(1);
  EXPECT_TRUE(session->shouldStopForBufferHealth(clock + 1.0));
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
  // Everything else is still torn down.
  EXPECT_FALSE(sim.taps().begin()->second.alive);
  EXPECT_FALSE(sim.aggregates().begin()->second.alive);
  EXPECT_FALSE(sim.ioProcs().begin()->second.registered);
  session.reset();
  EXPECT_EQ(RetainedAfterFailedCleanup::count(), retained + 3);

  // The unit still renders through the context, ring and kernel state.
  BufferList out({{2, 32}}, 9.0f);
  ASSERT_EQ(sim.render(unit, 32, out.get()), status::noError);
  EXPECT_EQ(out.samples(), std::vector<float>(64, 0.0f));
}

}  // namespace
}  // namespace tavuno::test
