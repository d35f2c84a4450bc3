#include "engine/taps/ProcessTap.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/text/TavunoLanguage.h"
#include "engine/sessions/RetainedAfterFailedCleanup.h"
#include "engine/taps/FormatPolicies.h"
#include "engine/taps/TapSteps.h"

namespace tavuno {

namespace {

// One I/O cycle. Real-time: the session's queue. Only the first output buffer of a
// one-buffer list, fed by a one-buffer stereo input and laid out as negotiated, is processed;
// anything else is silenced and counted as a format mismatch.
void processCycle(tdsp_state* dsp, std::uint32_t outputChannels, const AudioBufferList* input,
                  AudioBufferList* output) {
  if (output == nullptr) return;
  const AudioBuffer* in = nullptr;
  if (input != nullptr && input->mNumberBuffers == 1) {
    const AudioBuffer& only = bufferAt(*input, 0);
    if (only.mNumberChannels == 2 && only.mData != nullptr) in = &only;
  }
  for (std::uint32_t k = 0; k < output->mNumberBuffers; ++k) {
    AudioBuffer& out = bufferAt(*output, k);
    if (out.mData == nullptr) continue;
    const bool processable = k == 0 && output->mNumberBuffers == 1 && in != nullptr &&
                             out.mNumberChannels == outputChannels;
    if (!processable) {
      tdsp_format_mismatch(dsp);
      std::memset(out.mData, 0, out.mDataByteSize);
      continue;
    }
    const auto* samples = static_cast<const float*>(in->mData);
    auto* destination = static_cast<float*>(out.mData);
    if (outputChannels == 1) {
      tdsp_stereo_to_mono(dsp, samples, in->mDataByteSize / 8, destination, out.mDataByteSize / 4);
    } else {
      tdsp_process(dsp, samples, in->mDataByteSize / 4, destination, out.mDataByteSize / 4);
    }
  }
}

PropertyAddress streamsAddress(std::uint32_t scope) {
  return {tapSelector::streams, scope, kElementMain};
}

const PropertyAddress virtualFormatAddress{tapSelector::virtualFormat, scope::global, kElementMain};

}  // namespace

ProcessTap::ProcessTap(SessionPorts ports, CleanupFilter cleanupResult)
    : ports_(std::move(ports)),
      cleanupResult_(std::move(cleanupResult)),
      dsp_(tdsp_create()),
      queue_(ports_.queues.makeQueue("tavuno.audio.render", QueuePriority::userInteractive)) {}

ProcessTap::~ProcessTap() {
  stop();
  if (cleanupFailed_) {
    RetainedAfterFailedCleanup::keep(dsp_, "tdsp_state");
  } else {
    tdsp_destroy(dsp_);
  }
}

float ProcessTap::outputPeak() const {
  return tdsp_output_peak(dsp_);
}

SessionDiagnostics ProcessTap::diagnostics() const {
  return {tdsp_callbacks(dsp_), tdsp_input_peak(dsp_), tdsp_output_peak(dsp_)};
}

void ProcessTap::setGain(float gain, bool muted) {
  tdsp_set_gain(dsp_, gain, muted);
}

bool ProcessTap::shouldStopForBufferHealth(double /*now*/) {
  return tdsp_underruns(dsp_) > 1024 || tdsp_overruns(dsp_) > 1024;
}

std::optional<SessionFailure> ProcessTap::start(const std::vector<AudioObjectID>& processes,
                                                const AudioDevice& output) {
  // A second start while running would orphan the running tap, aggregate and callback.
  if (cleanupFailed_ || running_ || processes.empty() || !output.output)
    return SessionFailure::unsupported(tr("Processo ou saída indisponível."));
  if (output.input) {
    return SessionFailure::unsupported(tr(
        "Esta saída também possui entrada física; o isolamento do microfone não pôde ser garantido neste dispositivo."));
  }
  if (dsp_ == nullptr)
    return SessionFailure::unsupported(tr("Não foi possível preparar a reprodução."));
  auto failure = build(processes, output);
  if (failure) stop();
  return failure;
}

std::optional<SessionFailure> ProcessTap::build(const std::vector<AudioObjectID>& processes,
                                                const AudioDevice& output) {
  TapPlatform& platform = ports_.platform;
  std::string tapUID;
  if (auto failure = tapSteps::makeTap(platform, processes, tap_, tapUID)) return failure;

  AudioStreamBasicDescription tapFormat;  // read as the platform expects; not needed further
  const PropertyAddress tapFormatAddress{tapSelector::tapFormat, scope::global, kElementMain};
  if (OSStatus s = tapSteps::readValue(platform, tap_, tapFormatAddress, tapFormat))
    return tapFailure(textKey("Ler propriedade de áudio"), s);

  const DeviceDescription description{
      {"name", std::string("Tavuno Audio")},
      {"uid", tapSteps::aggregateUID(false)},
      {"private", true},
      {"master", output.uid},
      {"subdevices", std::vector<PlainDictionary>{{{"uid", output.uid}}}},
      {"tapautostart", true},
      {"taps", std::vector<PlainDictionary>{{{"uid", tapUID}, {"drift", true}}}}};
  AudioObjectID aggregate = kAudioObjectUnknown;
  if (OSStatus s = platform.createAggregateDevice(description, aggregate))
    return tapFailure(textKey("Criar dispositivo de áudio"), s);
  aggregate_ = aggregate;

  AudioStreamBasicDescription outputFormat, inputFormat;
  if (auto failure = readOutputFormat(outputFormat)) return failure;
  if (auto failure = readInputFormat(inputFormat)) return failure;
  if (!StandardFormatPolicy::supports(inputFormat, outputFormat)) {
    return SessionFailure::unsupported(trf("Formato não suportado: entrada %@, saída %@.",
                                           formatDescription(inputFormat),
                                           formatDescription(outputFormat)));
  }

  tdsp_state* dsp = dsp_;
  const std::uint32_t outputChannels = outputFormat.mChannelsPerFrame;
  IOProcID proc = IOProcID::none;
  OSStatus s = platform.createIOProcID(
      aggregate_, queue_,
      [dsp, outputChannels](const AudioBufferList* in, AudioBufferList* out) {
        processCycle(dsp, outputChannels, in, out);
      },
      proc);
  if (s != status::noError) return tapFailure(textKey("Preparar reprodução"), s);
  if (proc == IOProcID::none)
    return SessionFailure::unsupported(tr("Não foi possível preparar a reprodução."));
  proc_ = proc;

  if (OSStatus started = platform.deviceStart(aggregate_, proc))
    return tapFailure(textKey("Iniciar reprodução"), started);
  running_ = true;
  return std::nullopt;
}

std::optional<SessionFailure> ProcessTap::readOutputFormat(AudioStreamBasicDescription& format) {
  TapPlatform& platform = ports_.platform;
  std::uint32_t size = 0;
  if (OSStatus s = platform.getPropertyDataSize(aggregate_, streamsAddress(scope::output), size))
    return tapFailure(textKey("Consultar saída"), s);
  if (size == 0)
    return SessionFailure::unsupported(tr("Esta saída não possui fluxos disponíveis."));
  if (size % 4 != 0) return SessionFailure::unsupported(tr("Lista de fluxos de saída inválida."));
  if (size != 4) {
    return SessionFailure::unsupported(
        tr("Esta saída possui múltiplos fluxos e ainda não é suportada."));
  }
  AudioObjectID stream = kAudioObjectUnknown;
  if (OSStatus s = tapSteps::readValue(platform, aggregate_, streamsAddress(scope::output), stream))
    return tapFailure(textKey("Consultar fluxo"), s);
  if (OSStatus s = tapSteps::readValue(platform, stream, virtualFormatAddress, format))
    return tapFailure(textKey("Ler propriedade de áudio"), s);
  return std::nullopt;
}

std::optional<SessionFailure> ProcessTap::readInputFormat(AudioStreamBasicDescription& format) {
  TapPlatform& platform = ports_.platform;
  std::uint32_t size = 0;
  if (OSStatus s = platform.getPropertyDataSize(aggregate_, streamsAddress(scope::input), size))
    return tapFailure(textKey("Consultar fluxos de entrada"), s);
  if (size % 4 != 0) return SessionFailure::unsupported(tr("Lista de fluxos de entrada inválida."));
  // Only a one-stream list is usable; a longer one is read (so that its read failure reports as
  // such) into a bounded buffer rather than one sized by the platform's answer.
  std::array<AudioObjectID, 64> streams{};
  std::uint32_t count = 0;
  if (size > 0) {
    std::uint32_t bytes = std::min<std::uint32_t>(size, sizeof streams);
    if (OSStatus s = platform.getPropertyData(aggregate_, streamsAddress(scope::input), bytes,
                                              streams.data()))
      return tapFailure(textKey("Ler fluxos de entrada"), s);
    count = size > sizeof streams ? size / 4 : bytes / 4;
  }
  if (count != 1)
    return SessionFailure::unsupported(tr("Quantidade de fluxos de entrada não suportada."));
  if (OSStatus s = tapSteps::readValue(platform, streams[0], virtualFormatAddress, format))
    return tapFailure(textKey("Ler propriedade de áudio"), s);
  return std::nullopt;
}

void ProcessTap::stop() {
  TapPlatform& platform = ports_.platform;
  if (proc_) {
    if (running_) judgeCleanup(platform.deviceStop(aggregate_, *proc_));
    judgeCleanup(platform.destroyIOProcID(aggregate_, *proc_));
    proc_.reset();
  }
  if (aggregate_ != kAudioObjectUnknown) {
    judgeCleanup(platform.destroyAggregateDevice(aggregate_));
    aggregate_ = kAudioObjectUnknown;
  }
  if (tap_ != kAudioObjectUnknown) {
    judgeCleanup(platform.destroyProcessTap(tap_));
    tap_ = kAudioObjectUnknown;
  }
  running_ = false;
}

void ProcessTap::judgeCleanup(OSStatus status) {
  const OSStatus judged = cleanupResult_ ? cleanupResult_(status) : status;
  if (judged != status::noError) cleanupFailed_ = true;
}

}  // namespace tavuno
