#include <gtest/gtest.h>

#include "base/ports/Uuid.h"
#include "engine/sessions/RetainedAfterFailedCleanup.h"
#include "engine/taps/ProcessTap.h"
#include "support/SimPlatform.h"
#include "tests/sessions/SessionFixture.h"

namespace tavuno::test {
namespace {

const char* const unavailable = "Processo ou saída indisponível.";

class ProcessTapTest : public SessionFixture {
 protected:
  AudioDevice speakers = addOutput("speakers");
  ProcessTap session{ports, [](OSStatus s) { return s; }};
};

TEST_F(ProcessTapTest, StartMakesAPrivateMutingTapAndAnAggregateAroundTheOutput) {
  ASSERT_EQ(session.start(processes, speakers), std::nullopt);
  EXPECT_TRUE(session.running());
  ASSERT_EQ(sim.taps().size(), 1u);
  const auto& tap = sim.taps().begin()->second;
  EXPECT_EQ(tap.description, expectedTap());

  const auto& description = onlyAggregate().description;
  const auto& uid = std::get<std::string>(description.at("uid"));
  EXPECT_TRUE(isAggregateUID(uid, "com.tavuno.aggregate.")) << uid;
  const DeviceDescription expected{
      {"name", std::string("Tavuno Audio")},
      {"uid", uid},
      {"private", true},
      {"master", std::string("speakers")},
      {"subdevices", std::vector<PlainDictionary>{{{"uid", std::string("speakers")}}}},
      {"tapautostart", true},
      {"taps", std::vector<PlainDictionary>{{{"uid", tap.uid}, {"drift", true}}}}};
  EXPECT_EQ(description, expected);

  const auto& proc = sim.ioProcs().at(lastProc());
  EXPECT_TRUE(proc.running);
  EXPECT_TRUE(isQueue(proc.queue, "tavuno.audio.render"));
}

struct FailureRow {
  const char* name;
  std::vector<Fault> faults;
  const char* text;
  OSStatus status = 0;  // 0: an unsupported case
};

TEST_F(ProcessTapTest, EachStepFailsInItsOwnWordsAndLeavesNothingBehind) {
  const auto size = [](std::uint32_t scope, std::uint32_t bytes) {
    return Fault{.call = Call::getPropertyDataSize, .scope = scope, .status = 0, .size = bytes};
  };
  const Fault passFormatOnce{.call = Call::getPropertyData,
                             .selector = tapSelector::virtualFormat,
                             .status = 0,
                             .remaining = 1};
  const FailureRow rows[] = {
      {"tap creation", {fails(Call::createProcessTap)}, "Criar captura", kFailure},
      {"tap UID read", {fails(Call::getStringProperty)}, "Ler propriedade de áudio", kFailure},
      {"tap UID missing",
       {noResult(Call::getStringProperty)},
       "O sistema não forneceu o identificador da captura."},
      {"tap format read",
       {fails(Call::getPropertyData, tapSelector::tapFormat)},
       "Ler propriedade de áudio",
       kFailure},
      {"aggregate creation",
       {fails(Call::createAggregateDevice)},
       "Criar dispositivo de áudio",
       kFailure},
      {"output stream query",
       {fails(Call::getPropertyDataSize, tapSelector::streams, scope::output)},
       "Consultar saída",
       kFailure},
      {"no output stream", {size(scope::output, 0)}, "Esta saída não possui fluxos disponíveis."},
      {"output list of odd size", {size(scope::output, 6)}, "Lista de fluxos de saída inválida."},
      {"output stream read",
       {fails(Call::getPropertyData, tapSelector::streams, scope::output)},
       "Consultar fluxo",
       kFailure},
      {"output format read",
       {fails(Call::getPropertyData, tapSelector::virtualFormat)},
       "Ler propriedade de áudio",
       kFailure},
      {"input stream query",
       {fails(Call::getPropertyDataSize, tapSelector::streams, scope::input)},
       "Consultar fluxos de entrada",
       kFailure},
      {"input list of odd size", {size(scope::input, 2)}, "Lista de fluxos de entrada inválida."},
      {"input stream read",
       {fails(Call::getPropertyData, tapSelector::streams, scope::input)},
       "Ler fluxos de entrada",
       kFailure},
      {"no input stream",
       {size(scope::input, 0)},
       "Quantidade de fluxos de entrada não suportada."},
      {"input format read",
       {passFormatOnce, fails(Call::getPropertyData, tapSelector::virtualFormat)},
       "Ler propriedade de áudio",
       kFailure},
      {"callback registration", {fails(Call::createIOProcID)}, "Preparar reprodução", kFailure},
      {"callback without an id",
       {noResult(Call::createIOProcID)},
       "Não foi possível preparar a reprodução."},
      {"device start", {fails(Call::deviceStart)}, "Iniciar reprodução", kFailure},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sim.clearFaults();
    for (const auto& fault : row.faults)
      sim.injectFault(fault);
    ProcessTap fresh(ports, nullptr);
    const auto failure = fresh.start(processes, speakers);
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, row.status != 0 ? tapFailure(row.text, row.status)
                                        : SessionFailure::unsupported(row.text));
    EXPECT_FALSE(fresh.running() || fresh.cleanupFailed());
    EXPECT_EQ(sim.liveObjectCount(), 0u);
  }
}

TEST_F(ProcessTapTest, RefusesStreamLayoutsAndFormatsItCannotPassThrough) {
  const AudioDevice dual = addOutput("dual", {2, 2});
  EXPECT_EQ(session.start(processes, dual)->text(),
            "Esta saída possui múltiplos fluxos e ainda não é suportada.");
  // An output whose device also brings an input stream into the aggregate.
  SimTapPlatform::Device headset{.uid = "headset",
                                 .outputStreams = {floatFormat(48000, 2)},
                                 .inputStreams = {floatFormat(48000, 1)}};
  const AudioDevice sneaky{.id = sim.addDevice(headset), .uid = "headset", .output = true};
  EXPECT_EQ(session.start(processes, sneaky)->text(),
            "Quantidade de fluxos de entrada não suportada.");

  sim.setTapFormat(floatFormat(44100, 2));
  const std::string input = formatDescription(floatFormat(44100, 2));
  const std::string output = formatDescription(floatFormat(48000, 2));
  EXPECT_EQ(session.start(processes, speakers)->text(),
            "Formato não suportado: entrada " + input + ", saída " + output + ".");
  ScopedLanguage english(englishCatalog());
  EXPECT_EQ(session.start(processes, speakers)->errorDescription(),
            "Unsupported format: input " + input + ", output " + output + ".");
  EXPECT_EQ(sim.liveObjectCount(), 0u);
}

TEST_F(ProcessTapTest, RefusesUnusableRequestsWithoutTouchingThePlatform) {
  AudioDevice notOutput = speakers, withInput = speakers;
  notOutput.output = false;
  withInput.input = true;
  EXPECT_EQ(session.start({}, speakers), SessionFailure::unsupported(unavailable));
  EXPECT_EQ(session.start(processes, notOutput), SessionFailure::unsupported(unavailable));
  EXPECT_EQ(session.start(processes, withInput),
            SessionFailure::unsupported(
                "Esta saída também possui entrada física; o isolamento do microfone não pôde ser "
                "garantido neste dispositivo."));
  session.stop();  // never started
  EXPECT_TRUE(sim.calls().empty());
}

TEST_F(ProcessTapTest, StopTearsDownInOrderAndTheSessionCanStartAgain) {
  ASSERT_EQ(session.start(processes, speakers), std::nullopt);
  // A second start while running would orphan the running path: refused, nothing touched.
  sim.clearCalls();
  EXPECT_EQ(session.start(processes, speakers), SessionFailure::unsupported(unavailable));
  EXPECT_TRUE(sim.calls().empty());

  session.stop();
  EXPECT_EQ(callSequence(),
            (std::vector<Call>{Call::deviceStop, Call::destroyIOProcID,
                               Call::destroyAggregateDevice, Call::destroyProcessTap}));
  EXPECT_EQ(sim.liveObjectCount(), 0u);
  sim.clearCalls();
  session.stop();
  EXPECT_TRUE(sim.calls().empty());

  ASSERT_EQ(session.start(processes, speakers), std::nullopt);
  ASSERT_EQ(sim.aggregates().size(), 2u);
  EXPECT_NE(sim.aggregates().begin()->second.description.at("uid"),
            sim.aggregates().rbegin()->second.description.at("uid"));
}

TEST_F(ProcessTapTest, AFailedCleanupStepEndsTheSessionButNotTheTeardown) {
  sim.injectFault(fails(Call::destroyAggregateDevice));
  const std::size_t retained = RetainedAfterFailedCleanup::count();
  auto doomed = std::make_unique<ProcessTap>(ports, nullptr);
  ASSERT_TRUE(doomed->start(processes, addOutput("dual", {2, 2})));
  EXPECT_TRUE(doomed->cleanupFailed());
  EXPECT_FALSE(sim.taps().begin()->second.alive);
  EXPECT_TRUE(sim.aggregates().begin()->second.alive);
  // Refused from now on, and the failed id is not retried.
  sim.clearCalls();
  EXPECT_EQ(doomed->start(processes, speakers), SessionFailure::unsupported(unavailable));
  doomed->stop();
  EXPECT_TRUE(sim.calls().empty());
  doomed.reset();
  EXPECT_EQ(RetainedAfterFailedCleanup::count(), retained + 1);

  // The filter sees every teardown status and may fail any of them.
  std::vector<OSStatus> seen;
  ProcessTap strict(ports, [&seen](OSStatus s) {
    seen.push_back(s);
    return OSStatus{1};
  });
  sim.clearFaults();
  ASSERT_EQ(strict.start(processes, speakers), std::nullopt);
  strict.stop();
  EXPECT_EQ(seen, std::vector<OSStatus>(4, status::noError));
  EXPECT_TRUE(strict.cleanupFailed());
}

TEST_F(ProcessTapTest, ACallbackThePlatformCouldNotRemoveKeepsWorkingAfterRelease) {
  sim.injectFault(fails(Call::deviceStop));
  sim.injectFault(fails(Call::destroyIOProcID));
  auto orphan = std::make_unique<ProcessTap>(ports, nullptr);
  ASSERT_EQ(orphan->start(processes, speakers), std::nullopt);
  const IOProcID proc = lastProc();
  orphan->stop();
  EXPECT_EQ(sim.liveObjectCount(), 1u);  // only the callback
  orphan.reset();
  // Still called: it must find its kernel state alive (AddressSanitizer checks).
  BufferList in({{2, 4}}, 0.25f), out({{2, 4}}, 9.0f);
  ASSERT_EQ(sim.runIOProc(proc, in.get(), out.get()), status::noError);
  EXPECT_EQ(out.samples(), std::vector<float>(8, 0.25f));
}

TEST_F(ProcessTapTest, CallbackAppliesTheGainAndSilencesOtherLayoutsAsMismatches) {
  ASSERT_EQ(session.start(processes, speakers), std::nullopt);
  const IOProcID proc = lastProc();
  session.setGain(0.5f, false);
  BufferList in({{2, 2}}), out({{2, 2}}, 9.0f);
  const float samples[] = {0.5f, -1.0f, 0.25f, 0.0f};
  std::copy(std::begin(samples), std::end(samples), in.samples().begin());
  ASSERT_EQ(sim.runIOProc(proc, in.get(), out.get()), status::noError);
  EXPECT_EQ(out.samples(), (std::vector<float>{0.25f, -0.5f, 0.125f, 0.0f}));
  EXPECT_EQ(session.diagnostics(), (SessionDiagnostics{1, 1.0f, 0.5f}));
  EXPECT_FALSE(session.shouldStopForBufferHealth(0));

  const struct {
    const char* name;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> input, output;
  } rows[] = {
      {"two output buffers", {{2, 4}}, {{2, 4}, {2, 4}}},
      {"mono output buffer for a stereo format", {{2, 4}}, {{1, 4}}},
      {"two input buffers", {{2, 4}, {2, 4}}, {{2, 4}}},
  };
  for (const auto& row : rows) {
    BufferList rowIn(row.input, 0.5f), rowOut(row.output, 9.0f);
    ASSERT_EQ(sim.runIOProc(proc, rowIn.get(), rowOut.get()), status::noError);
    for (std::size_t k = 0; k < row.output.size(); ++k)
      EXPECT_EQ(rowOut.samples(k), std::vector<float>(rowOut.samples(k).size(), 0.0f)) << row.name;
  }
  ASSERT_EQ(sim.runIOProc(proc, nullptr, out.get()), status::noError);
  EXPECT_EQ(out.samples(), std::vector<float>(4, 0.0f));
  // Mismatches are not processed buffers: the watchdog sees a stall, the health rule a failure.
  EXPECT_EQ(session.diagnostics().callbacks, 1u);
  EXPECT_TRUE(session.shouldStopForBufferHealth(0));
}

TEST_F(ProcessTapTest, MoreThan1024SurplusOrMissingFramesMakeTheStreamUnhealthy) {
  const struct {
    std::uint32_t inputFrames, outputFrames;
    bool unhealthy;
  } rows[] = {
      {1024 + 64, 64, false}, {1025 + 64, 64, true}, {64, 1024 + 64, false}, {64, 1025 + 64, true}};
  for (const auto& row : rows) {
    ProcessTap fresh(ports, nullptr);
    ASSERT_EQ(fresh.start(processes, speakers), std::nullopt);
    BufferList in({{2, row.inputFrames}}), out({{2, row.outputFrames}});
    ASSERT_EQ(sim.runIOProc(lastProc(), in.get(), out.get()), status::noError);
    EXPECT_EQ(fresh.shouldStopForBufferHealth(1e9), row.unhealthy)
        << row.inputFrames << " in, " << row.outputFrames << " out";
  }
}

}  // namespace
}  // namespace tavuno::test
