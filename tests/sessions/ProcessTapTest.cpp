#include <gtest/gtest.h>

#include <functional>

#include "core/ports/Uuid.h"
#include "engine/sessions/ProcessTap.h"
#include "engine/sessions/RetainedAfterFailedCleanup.h"
#include "support/SimPlatform.h"
#include "tests/sessions/SessionFixture.h"

namespace tavuno::test {
namespace {

using Fault = SimTapPlatform::Fault;
using Kind = SessionFailure::Kind;

const OSStatus kFailure = -50;
const Fault passOnce{.status = status::noError, .remaining = 1};

Fault fails(Call call, std::optional<std::uint32_t> selector = {},
            std::optional<std::uint32_t> scope = {}) {
  return {.call = call, .selector = selector, .scope = scope, .status = kFailure};
}

class ProcessTapTest : public SessionFixture {
 protected:
  AudioDevice speakers = addOutput("speakers");
  std::function<OSStatus(OSStatus)> identity = [](OSStatus s) { return s; };
  ProcessTap session{ports, identity};
};

TEST_F(ProcessTapTest, StartMakesAPrivateMutingTapAndAnAggregateAroundTheOutput) {
  session.setGain(0.5f, false);
  ASSERT_EQ(session.start(processes, speakers), std::nullopt);
  EXPECT_TRUE(session.running());

  ASSERT_EQ(sim.taps().size(), 1u);
  const auto& [tapID, tap] = *sim.taps().begin();
  EXPECT_EQ(tap.description, (TapDescription{.processes = processes,
                                             .stereoMixdown = true,
                                             .name = "Tavuno Process Tap",
                                             .isPrivate = true,
                                             .muteBehavior = tapMute::mutedWhenTapped}));

  const auto& description = onlyAggregate().description;
  ASSERT_EQ(description.size(), 7u);
  const auto& uid = std::get<std::string>(description.at("uid"));
  const std::string prefix = "com.tavuno.aggregate.";
  ASSERT_EQ(uid.substr(0, prefix.size()), prefix);
  auto uuid = Uuid::parse(uid.substr(prefix.size()));
  ASSERT_TRUE(uuid);
  EXPECT_EQ(uuid->text(), uid.substr(prefix.size()));  // canonical upper case
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
  EXPECT_EQ(proc.device, sim.aggregates().begin()->first);
  EXPECT_TRUE(proc.running);
  auto queue = std::dynamic_pointer_cast<ManualSerialQueue>(proc.queue);
  ASSERT_TRUE(queue);
  EXPECT_EQ(queue->label(), "tavuno.audio.render");
  EXPECT_EQ(queue->priority(), QueuePriority::userInteractive);

  EXPECT_EQ(callSequence(),
            (std::vector<Call>{
                Call::createProcessTap, Call::getStringProperty, Call::getPropertyData,
                Call::createAggregateDevice, Call::getPropertyDataSize, Call::getPropertyData,
                Call::getPropertyData, Call::getPropertyDataSize, Call::getPropertyData,
                Call::getPropertyData, Call::createIOProcID, Call::deviceStart}));
}

struct FailureRow {
  const char* name;
  std::function<void(SessionFixture&, SimTapPlatform&)> setup;
  Kind kind;
  const char* text;
  OSStatus status = 0;
};

class ProcessTapFailureTest : public SessionFixture {};

// Every way a start can fail once the tap exists: its own failure, and nothing left behind.
TEST_F(ProcessTapFailureTest, EachStepFailsInItsOwnWordsAndLeavesNothingBehind) {
  const FailureRow rows[] = {
      {"tap creation", [](auto&, auto& s) { s.injectFault(fails(Call::createProcessTap)); },
       Kind::coreAudio, "Criar captura", kFailure},
      {"tap UID read", [](auto&, auto& s) { s.injectFault(fails(Call::getStringProperty)); },
       Kind::coreAudio, "Ler propriedade de áudio", kFailure},
      {"tap UID missing",
       [](auto&, auto& s) {
         s.injectFault({.call = Call::getStringProperty, .status = 0, .noResult = true});
       },
       Kind::unsupported, "O sistema não forneceu o identificador da captura."},
      {"tap format read",
       [](auto&, auto& s) { s.injectFault(fails(Call::getPropertyData, tapSelector::tapFormat)); },
       Kind::coreAudio, "Ler propriedade de áudio", kFailure},
      {"aggregate creation",
       [](auto&, auto& s) { s.injectFault(fails(Call::createAggregateDevice)); }, Kind::coreAudio,
       "Criar dispositivo de áudio", kFailure},
      {"output stream query",
       [](auto&, auto& s) {
         s.injectFault(fails(Call::getPropertyDataSize, tapSelector::streams, scope::output));
       },
       Kind::coreAudio, "Consultar saída", kFailure},
      {"no output stream",
       [](auto&, auto& s) {
         s.injectFault(
             {.call = Call::getPropertyDataSize, .scope = scope::output, .status = 0, .size = 0});
       },
       Kind::unsupported, "Esta saída não possui fluxos disponíveis."},
      {"output stream list of odd size",
       [](auto&, auto& s) {
         s.injectFault(
             {.call = Call::getPropertyDataSize, .scope = scope::output, .status = 0, .size = 6});
       },
       Kind::unsupported, "Lista de fluxos de saída inválida."},
      {"two output streams",
       [](auto&, auto& s) {
         s.injectFault(
             {.call = Call::getPropertyDataSize, .scope = scope::output, .status = 0, .size = 8});
       },
       Kind::unsupported, "Esta saída possui múltiplos fluxos e ainda não é suportada."},
      {"output stream read",
       [](auto&, auto& s) {
         s.injectFault(fails(Call::getPropertyData, tapSelector::streams, scope::output));
       },
       Kind::coreAudio, "Consultar fluxo", kFailure},
      {"output format read",
       [](auto&, auto& s) {
         s.injectFault(fails(Call::getPropertyData, tapSelector::virtualFormat));
       },
       Kind::coreAudio, "Ler propriedade de áudio", kFailure},
      {"input stream query",
       [](auto&, auto& s) {
         s.injectFault(fails(Call::getPropertyDataSize, tapSelector::streams, scope::input));
       },
       Kind::coreAudio, "Consultar fluxos de entrada", kFailure},
      {"input stream list of odd size",
       [](auto&, auto& s) {
         s.injectFault(
             {.call = Call::getPropertyDataSize, .scope = scope::input, .status = 0, .size = 2});
       },
       Kind::unsupported, "Lista de fluxos de entrada inválida."},
      {"input stream read",
       [](auto&, auto& s) {
         s.injectFault(fails(Call::getPropertyData, tapSelector::streams, scope::input));
       },
       Kind::coreAudio, "Ler fluxos de entrada", kFailure},
      {"no input stream",
       [](auto&, auto& s) {
         s.injectFault(
             {.call = Call::getPropertyDataSize, .scope = scope::input, .status = 0, .size = 0});
       },
       Kind::unsupported, "Quantidade de fluxos de entrada não suportada."},
      {"input format read",
       [](auto&, auto& s) {
         Fault once = passOnce;
         once.call = Call::getPropertyData;
         once.selector = tapSelector::virtualFormat;
         s.injectFault(once);  // the output format reads fine
         s.injectFault(fails(Call::getPropertyData, tapSelector::virtualFormat));
       },
       Kind::coreAudio, "Ler propriedade de áudio", kFailure},
      {"callback registration", [](auto&, auto& s) { s.injectFault(fails(Call::createIOProcID)); },
       Kind::coreAudio, "Preparar reprodução", kFailure},
      {"callback registration without an id",
       [](auto&, auto& s) {
         s.injectFault({.call = Call::createIOProcID, .status = 0, .noResult = true});
       },
       Kind::unsupported, "Não foi possível preparar a reprodução."},
      {"device start", [](auto&, auto& s) { s.injectFault(fails(Call::deviceStart)); },
       Kind::coreAudio, "Iniciar reprodução", kFailure},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sim.clearFaults();
    row.setup(*this, sim);
    ProcessTap session(ports, nullptr);
    const auto failure = session.start(processes, addOutput(row.name));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind(), row.kind);
    EXPECT_EQ(failure->text(), row.text);
    EXPECT_EQ(failure->status(), row.status);
    EXPECT_FALSE(session.running());
    EXPECT_FALSE(session.cleanupFailed());
    EXPECT_EQ(sim.liveObjectCount(), 0u);
  }
}

TEST_F(ProcessTapFailureTest, ARefusedFormatPairIsDescribedFieldByField) {
  sim.setTapFormat(floatFormat(44100, 2));
  ProcessTap session(ports, nullptr);
  const auto failure = session.start(processes, addOutput("48k"));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind(), Kind::unsupported);
  EXPECT_EQ(failure->text(), "Formato não suportado: entrada " +
                                 formatDescription(floatFormat(44100, 2)) + ", saída " +
                                 formatDescription(floatFormat(48000, 2)) + ".");
  EXPECT_EQ(sim.liveObjectCount(), 0u);

  ScopedLanguage english(englishCatalog());
  ProcessTap again(ports, nullptr);
  EXPECT_EQ(again.start(processes, addOutput("48k-en"))->errorDescription(),
            "Unsupported format: input " + formatDescription(floatFormat(44100, 2)) + ", output " +
                formatDescription(floatFormat(48000, 2)) + ".");
}

TEST_F(ProcessTapTest, RefusesUnusableRequestsWithoutTouchingThePlatform) {
  AudioDevice notOutput = speakers;
  notOutput.output = false;
  AudioDevice withInput = speakers;
  withInput.input = true;
  const struct {
    const char* name;
    std::vector<AudioObjectID> processes;
    AudioDevice output;
    const char* message;
  } rows[] = {
      {"no processes", {}, speakers, "Processo ou saída indisponível."},
      {"not an output", processes, notOutput, "Processo ou saída indisponível."},
      {"output with an input", processes, withInput,
       "Esta saída também possui entrada física; o isolamento do microfone não pôde ser garantido "
       "neste dispositivo."},
  };
  for (const auto& row : rows) {
    const auto failure = session.start(row.processes, row.output);
    ASSERT_TRUE(failure) << row.name;
    EXPECT_EQ(*failure, SessionFailure::unsupported(row.message)) << row.name;
  }
  EXPECT_TRUE(sim.calls().empty());
}

TEST_F(ProcessTapTest, StopTearsDownInOrderAndIsIdempotent) {
  session.stop();
  EXPECT_TRUE(sim.calls().empty());  // never started: no platform call

  ASSERT_EQ(session.start(processes, speakers), std::nullopt);
  sim.clearCalls();
  session.stop();
  EXPECT_EQ(callSequence(),
            (std::vector<Call>{Call::deviceStop, Call::destroyIOProcID,
                               Call::destroyAggregateDevice, Call::destroyProcessTap}));
  EXPECT_FALSE(session.running());
  EXPECT_EQ(sim.liveObjectCount(), 0u);
  sim.clearCalls();
  session.stop();
  EXPECT_TRUE(sim.calls().empty());
}

TEST_F(ProcessTapTest, RestartsWithAFreshTapAndAggregate) {
  ASSERT_EQ(session.start(processes, speakers), std::nullopt);
  // A second start while running would orphan the running path: refused, nothing touched.
  sim.clearCalls();
  EXPECT_EQ(session.start(processes, speakers),
            SessionFailure::unsupported("Processo ou saída indisponível."));
  EXPECT_TRUE(sim.calls().empty());

  session.stop();
  ASSERT_EQ(session.start(processes, speakers), std::nullopt);
  ASSERT_EQ(sim.taps().size(), 2u);
  ASSERT_EQ(sim.aggregates().size(), 2u);
  const auto& first = sim.aggregates().begin()->second.description.at("uid");
  const auto& second = sim.aggregates().rbegin()->second.description.at("uid");
  EXPECT_NE(first, second);
  EXPECT_EQ(sim.liveObjectCount(), 3u);  // tap, aggregate, callback
}

TEST_F(ProcessTapTest, FailedAggregateDestructionStillDestroysTheTapAndEndsTheSession) {
  const AudioDevice dual = addOutput("dual", {2, 2});
  sim.injectFault(fails(Call::destroyAggregateDevice));
  const std::size_t retained = RetainedAfterFailedCleanup::count();
  {
    ProcessTap doomed(ports, identity);
    const auto failure = doomed.start(processes, dual);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->text(), "Esta saída possui múltiplos fluxos e ainda não é suportada.");
    EXPECT_TRUE(doomed.cleanupFailed());
    EXPECT_FALSE(sim.taps().begin()->second.alive);
    EXPECT_TRUE(sim.aggregates().begin()->second.alive);

    // Any later start is refused at once, and the failed id is not retried.
    sim.clearCalls();
    EXPECT_EQ(doomed.start(processes, speakers),
              SessionFailure::unsupported("Processo ou saída indisponível."));
    doomed.stop();
    EXPECT_TRUE(sim.calls().empty());
    EXPECT_TRUE(doomed.cleanupFailed());
  }
  EXPECT_EQ(RetainedAfterFailedCleanup::count(), retained + 1);
}

TEST_F(ProcessTapTest, ACallbackThePlatformCouldNotRemoveKeepsWorkingAfterRelease) {
  sim.injectFault(fails(Call::deviceStop));
  sim.injectFault(fails(Call::destroyIOProcID));
  auto orphan = std::make_unique<ProcessTap>(ports, identity);
  ASSERT_EQ(orphan->start(processes, speakers), std::nullopt);
  const IOProcID proc = lastProc();
  orphan->stop();
  EXPECT_TRUE(orphan->cleanupFailed());
  // The other objects are still destroyed; the callback stays registered and running.
  EXPECT_EQ(sim.liveObjectCount(), 1u);
  orphan.reset();

  // Still called by the platform: it must find its kernel state alive (AddressSanitizer checks).
  BufferList in({{2, 4}}, 0.25f), out({{2, 4}}, 9.0f);
  ASSERT_EQ(sim.runIOProc(proc, in.get(), out.get()), status::noError);
  EXPECT_EQ(out.samples(), std::vector<float>(8, 0.25f));
}

TEST_F(ProcessTapTest, TheCleanupFilterJudgesEveryTeardownStatus) {
  std::vector<OSStatus> seen;
  ProcessTap strict(ports, [&seen](OSStatus s) {
    seen.push_back(s);
    return OSStatus{1};
  });
  ASSERT_EQ(strict.start(processes, speakers), std::nullopt);
  strict.stop();
  EXPECT_EQ(seen, std::vector<OSStatus>(4, status::noError));
  EXPECT_TRUE(strict.cleanupFailed());
  EXPECT_EQ(sim.liveObjectCount(), 0u);  // the platform did destroy everything
}

class ProcessTapCallbackTest : public ProcessTapTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(session.start(processes, speakers), std::nullopt);
    proc = lastProc();
  }
  void cycle(AudioBufferList* in, AudioBufferList* out) {
    ASSERT_EQ(sim.runIOProc(proc, in, out), status::noError);
  }
  IOProcID proc{};
};

TEST_F(ProcessTapCallbackTest, CopiesTheStereoMixWithTheGain) {
  session.setGain(0.5f, false);
  BufferList in({{2, 3}}), out({{2, 3}}, 9.0f);
  in.samples() = {0.5f, -1.0f, 0.25f, 0.0f, -0.5f, 0.75f};
  cycle(in.get(), out.get());
  EXPECT_EQ(out.samples(), (std::vector<float>{0.25f, -0.5f, 0.125f, 0.0f, -0.25f, 0.375f}));
  EXPECT_EQ(session.diagnostics(), (SessionDiagnostics{1, 1.0f, 0.5f}));

  session.setGain(0.8f, true);
  cycle(in.get(), out.get());
  EXPECT_EQ(out.samples(), std::vector<float>(6, 0.0f));
  EXPECT_EQ(session.diagnostics(), (SessionDiagnostics{2, 1.0f, 0.0f}));
  EXPECT_FALSE(session.shouldStopForBufferHealth(0));
}

TEST_F(ProcessTapCallbackTest, BuffersOfAnotherLayoutAreSilencedAndMakeTheStreamUnhealthy) {
  const struct {
    const char* name;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> input, output;
    std::uint32_t mismatches;
  } rows[] = {
      {"two output buffers", {{2, 4}}, {{2, 4}, {2, 4}}, 2},
      {"mono output buffer for a stereo format", {{2, 4}}, {{1, 4}}, 1},
      {"mono input", {{1, 4}}, {{2, 4}}, 1},
      {"two input buffers", {{2, 4}, {2, 4}}, {{2, 4}}, 1},
  };
  std::uint32_t expectedUnderruns = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    BufferList in(row.input, 0.5f), out(row.output, 9.0f);
    cycle(in.get(), out.get());
    for (std::size_t k = 0; k < row.output.size(); ++k)
      EXPECT_EQ(out.samples(k), std::vector<float>(out.samples(k).size(), 0.0f));
    expectedUnderruns += 1025 * row.mismatches;
  }
  // Mismatches never count as processed buffers, so the watchdog sees a stall.
  EXPECT_EQ(session.diagnostics().callbacks, 0u);
  EXPECT_TRUE(session.shouldStopForBufferHealth(0));

  // A missing input list is a mismatch too; a missing output list or data pointer is skipped.
  ProcessTap other(ports, identity);
  ASSERT_EQ(other.start(processes, addOutput("other")), std::nullopt);
  BufferList out({{2, 4}}, 9.0f);
  ASSERT_EQ(sim.runIOProc(lastProc(), nullptr, out.get()), status::noError);
  EXPECT_EQ(out.samples(), std::vector<float>(8, 0.0f));
  EXPECT_TRUE(other.shouldStopForBufferHealth(0));
  ProcessTap third(ports, identity);
  ASSERT_EQ(third.start(processes, addOutput("third")), std::nullopt);
  BufferList in({{2, 4}}), noData({{2, 4}});
  bufferAt(noData.list(), 0).mData = nullptr;
  ASSERT_EQ(sim.runIOProc(lastProc(), in.get(), noData.get()), status::noError);
  ASSERT_EQ(sim.runIOProc(lastProc(), in.get(), nullptr), status::noError);
  EXPECT_FALSE(third.shouldStopForBufferHealth(0));
  EXPECT_EQ(third.diagnostics().callbacks, 0u);
}

TEST_F(ProcessTapCallbackTest, MoreThan1024SurplusOrMissingFramesMakeTheStreamUnhealthy) {
  const struct {
    const char* name;
    std::uint32_t inputFrames, outputFrames;
    bool unhealthy;
  } rows[] = {
      {"1024 surplus frames", 1024 + 64, 64, false},
      {"1025 surplus frames", 1025 + 64, 64, true},
      {"1024 missing frames", 64, 1024 + 64, false},
      {"1025 missing frames", 64, 1025 + 64, true},
  };
  for (const auto& row : rows) {
    ProcessTap fresh(ports, identity);
    ASSERT_EQ(fresh.start(processes, addOutput(row.name)), std::nullopt);
    BufferList in({{2, row.inputFrames}}), out({{2, row.outputFrames}});
    ASSERT_EQ(sim.runIOProc(lastProc(), in.get(), out.get()), status::noError);
    EXPECT_EQ(fresh.shouldStopForBufferHealth(1e9), row.unhealthy) << row.name;
  }
}

}  // namespace
}  // namespace tavuno::test
